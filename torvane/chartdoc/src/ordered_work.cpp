#include "torvane/chartdoc/ordered_work.hpp"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace torvane::chartdoc {

namespace {

constexpr std::size_t k_most_threads_by_default = 8;
constexpr unsigned long k_most_threads = 64;

}  // namespace

std::size_t helper_threads() {
    if (const char* value = std::getenv("TORVANE_THREADS"); value != nullptr && *value != '\0') {
        char* end = nullptr;
        const unsigned long threads = std::strtoul(value, &end, 10);
        if (*end == '\0' && threads >= 1 && threads <= k_most_threads) return threads - 1;
    }
    const std::size_t processors = std::max(1u, std::thread::hardware_concurrency());
    return std::min(processors, k_most_threads_by_default) - 1;
}

WorkerPool::WorkerPool(std::size_t threads) {
    m_threads.reserve(threads);
    try {
        for (std::size_t i = 0; i < threads; ++i) m_threads.emplace_back([this] { work(); });
    } catch (const std::system_error&) {
        // A thread that cannot be had leaves its share to the others and to wait_oldest().
    }
}

WorkerPool::~WorkerPool() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_given.notify_all();
    for (auto& thread : m_threads) thread.join();
}

void WorkerPool::give(std::function<void()> task) {
    {
        const std::lock_guard lock(m_mutex);
        m_tasks.push_back({std::move(task), State::queued, nullptr});
    }
    m_given.notify_one();
}

void WorkerPool::run_task(Task& task, std::unique_lock<std::mutex>& lock) {
    task.state = State::running;
    ++m_started;
    lock.unlock();
    std::exception_ptr error;
    try {
        task.run();
    } catch (...) {
        error = std::current_exception();
    }
    lock.lock();
    task.error = error;
    task.state = State::done;
}

void WorkerPool::wait_oldest() {
    std::unique_lock lock(m_mutex);
    Task& oldest = m_tasks.front();
    // While another thread runs the oldest, this one takes the next tasks rather than sleep:
    // otherwise the slower of the two kinds of work, this thread's or the tasks', sets the pace.
    while (oldest.state != State::done) {
        if (m_started < m_tasks.size()) {
            run_task(m_tasks[m_started], lock);
        } else {
            m_done.wait(lock);
        }
    }
    const auto error = oldest.error;
    m_tasks.pop_front();
    --m_started;
    if (error) std::rethrow_exception(error);
}

void WorkerPool::work() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_given.wait(lock, [&] { return m_stopping || m_started < m_tasks.size(); });
        if (m_stopping) return;
        // Tasks start in order, so the first one not started follows those that are.
        Task& task = m_tasks[m_started];
        run_task(task, lock);
        m_done.notify_all();
    }
}

}  // namespace torvane::chartdoc
