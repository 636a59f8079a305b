#include "helmkit/base/forked_child.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>

#include "helmkit/base/error.hpp"

#if defined(__SANITIZE_ADDRESS__)
#define HELMKIT_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HELMKIT_ADDRESS_SANITIZER 1
#endif
#endif

// Present when a sanitizer runs the process (a fuzzer's crash dump hangs on it), else null.
extern "C" void __sanitizer_set_death_callback(void (*callback)()) __attribute__((weak));

namespace helmkit {

namespace {

constexpr std::size_t k_chunk = 64 * 1024;

void limit_child(const ForkedChild::Limits& limits) {
    // SIGXCPU comes at the soft limit; the hard one, a second later, would be a plain SIGKILL.
    const rlimit cpu{limits.cpu_seconds, limits.cpu_seconds + 1};
    ::setrlimit(RLIMIT_CPU, &cpu);
#ifndef HELMKIT_ADDRESS_SANITIZER
    const rlimit space{limits.address_space, limits.address_space};
    ::setrlimit(RLIMIT_AS, &space);
#endif
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) ::dup2(null, STDERR_FILENO);
    // A child that a damaged input ends is an outcome the parent reports, not a finding of
    // the parent's fuzzer.
    if (__sanitizer_set_death_callback != nullptr) __sanitizer_set_death_callback(nullptr);
}

}  // namespace

ForkedChild::ForkedChild(const std::function<void(ChildOutput&)>& work, const Limits& limits) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        throw Error(std::string("cannot start a reader process: ") + std::strerror(errno));
    }
    m_pid = ::fork();
    if (m_pid < 0) {
        const int error = errno;
        ::close(fds[0]);
        ::close(fds[1]);
        throw Error(std::string("cannot start a reader process: ") + std::strerror(error));
    }
    if (m_pid == 0) {
        // Only the work runs here: no logging (another thread may have held the logger's lock
        // at the fork), and _exit so that no exit handler of the parent's runs twice.
        ::close(fds[0]);
        limit_child(limits);
        int code = 0;
        try {
            ChildOutput output(fds[1]);
            work(output);
            output.flush();
        } catch (...) {
            code = 1;
        }
        ::_exit(code);
    }
    ::close(fds[1]);
    m_fd = fds[0];
    m_quiet_seconds = limits.quiet_seconds;
}

ForkedChild::~ForkedChild() { stop(); }

ProcessStatus ForkedChild::stop() {
    // A child that already ended is a zombie until reaped: the signal leaves its status alone.
    if (!m_finished) ::kill(m_pid, SIGKILL);
    return finish();
}

bool ForkedChild::fill() {
    if (m_offset > 0) {
        m_buffer.erase(0, m_offset);
        m_offset = 0;
    }
    const std::size_t kept = m_buffer.size();
    m_buffer.resize(kept + k_chunk);
    // A child stuck without using CPU (waiting on a lock it inherited) is ended too.
    pollfd ready{m_fd, POLLIN, 0};
    int polled;
    do {
        polled = ::poll(&ready, 1, static_cast<int>(m_quiet_seconds * 1000));
    } while (polled < 0 && errno == EINTR);
    if (polled == 0) ::kill(m_pid, SIGKILL);
    ssize_t got = -1;
    if (polled > 0) {
        do {
            got = ::read(m_fd, m_buffer.data() + kept, k_chunk);
        } while (got < 0 && errno == EINTR);
    }
    m_buffer.resize(kept + static_cast<std::size_t>(got > 0 ? got : 0));
    return got > 0;
}

bool ForkedChild::read(void* data, std::size_t size) {
    while (m_buffer.size() - m_offset < size) {
        if (m_finished || !fill()) return false;
    }
    std::memcpy(data, m_buffer.data() + m_offset, size);
    m_offset += size;
    return true;
}

bool ForkedChild::read_text(std::string& text, std::size_t limit) {
    std::uint32_t size = 0;
    if (!read(&size, sizeof size) || size > limit) return false;
    text.resize(size);
    return read(text.data(), size);
}

ProcessStatus ForkedChild::finish() {
    if (m_finished) return m_status;
    m_finished = true;
    ::close(m_fd);
    int wait_status = 0;
    pid_t reaped;
    do {
        reaped = ::waitpid(m_pid, &wait_status, 0);
    } while (reaped < 0 && errno == EINTR);
    m_status = status_of_wait(wait_status);
    return m_status;
}

void ForkedChild::ChildOutput::write(const void* data, std::size_t size) {
    m_buffer.append(static_cast<const char*>(data), size);
    if (m_buffer.size() >= k_chunk) flush();
}

void ForkedChild::ChildOutput::write_text(std::string_view text) {
    const auto size = static_cast<std::uint32_t>(text.size());
    write(&size, sizeof size);
    write(text.data(), text.size());
}

void ForkedChild::ChildOutput::flush() {
    std::size_t sent = 0;
    while (sent < m_buffer.size()) {
        const ssize_t wrote = ::write(m_fd, m_buffer.data() + sent, m_buffer.size() - sent);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) ::_exit(1);
        sent += static_cast<std::size_t>(wrote);
    }
    m_buffer.clear();
}

}  // namespace helmkit
