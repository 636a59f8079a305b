#include "helmkit/base/progress.hpp"

#include <sys/ioctl.h>

#include <cmath>
#include <cstdio>
#include <mutex>

namespace helmkit {

namespace {

// One line on one terminal: the newest Progress draws, log lines pause it. A recursive lock
// because a Pause may be taken while its thread already advances a line.
std::recursive_mutex& active_guard() {
    static std::recursive_mutex guard;
    return guard;
}
Progress*& active_line() {
    static Progress* active = nullptr;
    return active;
}

std::string duration_text(double seconds) {
    const auto whole = static_cast<long long>(std::llround(seconds));
    char buffer[48];
    if (whole < 1) return "<1 s";
    if (whole < 60) {
        std::snprintf(buffer, sizeof buffer, "%lld s", whole);
    } else if (whole < 3600) {
        std::snprintf(buffer, sizeof buffer, "%lld min %lld s", whole / 60, whole % 60);
    } else {
        std::snprintf(buffer, sizeof buffer, "%lld h %lld min", whole / 3600, whole % 3600 / 60);
    }
    return buffer;
}

std::size_t terminal_width(int fd) {
    winsize size{};
    if (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) return size.ws_col - 1;
    return 79;
}

void write_all(int fd, const std::string& text) {
    std::size_t written = 0;
    while (written < text.size()) {
        const auto n = ::write(fd, text.data() + written, text.size() - written);
        if (n <= 0) return;
        written += static_cast<std::size_t>(n);
    }
}

}  // namespace

Progress::Progress(std::string label, std::size_t total, int fd)
    : m_label(std::move(label)),
      m_total(total),
      m_fd(fd),
      m_terminal(isatty(fd) == 1),
      m_start(std::chrono::steady_clock::now()) {
    if (!m_terminal) return;
    const std::lock_guard lock(active_guard());
    m_previous = active_line();
    if (m_previous != nullptr) m_previous->clear();
    active_line() = this;
    draw();
}

Progress::~Progress() {
    if (!m_terminal) return;
    const std::lock_guard lock(active_guard());
    clear();
    if (active_line() == this) active_line() = m_previous;
    if (active_line() != nullptr) active_line()->draw();
}

void Progress::advance(std::size_t count) {
    if (!m_terminal) return;
    const std::lock_guard lock(active_guard());
    m_done += count;
    const auto now = std::chrono::steady_clock::now();
    if (active_line() == this &&
        (now - m_last_draw >= std::chrono::milliseconds(100) || m_done == m_total)) {
        draw();
    }
}

void Progress::restart(std::string label, std::size_t total) {
    if (!m_terminal) return;
    const std::lock_guard lock(active_guard());
    m_label = std::move(label);
    m_total = total;
    m_done = 0;
    m_start = std::chrono::steady_clock::now();
    if (active_line() == this) draw();
}

std::string Progress::text() const {
    std::string line = m_label + " " + std::to_string(m_done);
    if (m_total > 0) line += "/" + std::to_string(m_total);
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    if (m_done > 0 && elapsed > 0.05) {
        const double rate = static_cast<double>(m_done) / elapsed;
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, rate >= 100 ? "%.0f/s" : "%.1f/s", rate);
        line += "  ";
        line += buffer;
        if (m_total > m_done) {
            line += "  " + duration_text(static_cast<double>(m_total - m_done) / rate) + " left";
        }
    }
    return line;
}

void Progress::draw() {
    std::string line = text();
    const auto width = terminal_width(m_fd);
    if (line.size() > width) line.resize(width);
    write_all(m_fd, "\r\033[K" + line);
    m_drawn = true;
    m_last_draw = std::chrono::steady_clock::now();
}

void Progress::clear() {
    if (!m_drawn) return;
    write_all(m_fd, "\r\033[K");
    m_drawn = false;
}

Progress::Pause::Pause() {
    active_guard().lock();
    if (active_line() != nullptr) active_line()->clear();
}

Progress::Pause::~Pause() {
    if (active_line() != nullptr) active_line()->draw();
    active_guard().unlock();
}

}  // namespace helmkit
