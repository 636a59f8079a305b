#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace torvane::chartdoc {

// Returns how many threads besides the calling one share work: TORVANE_THREADS less one when it
// is a whole number from 1 to 64, otherwise one less than the processors (at most 8 threads in
// all); 0 means everything runs on the calling thread.
std::size_t helper_threads();

// Threads that run tasks in the order they were given, each task waited for by the thread that
// gave it.
class WorkerPool {
public:
    // Starts `threads` threads; with none, every task runs in wait_oldest().
    explicit WorkerPool(std::size_t threads);
    // Drops the tasks no thread has started, waits for the running ones and ends the threads.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Queues `task` behind the tasks given before it.
    void give(std::function<void()> task);
    // Waits until the oldest task given and not yet waited for has run, running it and the
    // tasks after it on this thread while no thread has started them. Rethrows what the oldest
    // task threw.
    void wait_oldest();

private:
    enum class State { queued, running, done };
    struct Task {
        std::function<void()> run;
        State state = State::queued;
        std::exception_ptr error;
    };

    void work();
    // Runs `task` (taken from the queue under the lock, released meanwhile).
    void run_task(Task& task, std::unique_lock<std::mutex>& lock);

    std::mutex m_mutex;
    std::condition_variable m_given;
    std::condition_variable m_done;
    std::deque<Task> m_tasks;  // given and not yet waited for, oldest first
    std::size_t m_started = 0; // how many of m_tasks, from the front, a thread has taken
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

// How much in_order() may hold at once: items made and not yet taken, and their weight.
struct WorkWindow {
    std::size_t items = 1;
    std::size_t weight = static_cast<std::size_t>(-1);
};

// Calls make(i) and then take(i, item) on the calling thread for i from 0 to count - 1, both
// in order of i, and run(item) in between on one of `threads` helper threads (or on this one
// when none has started it). Items are made ahead while fewer than window.items are waiting
// and their weigh(item) add up to less than window.weight; at least one is always made. What
// make, run or take throw ends the call once the runs already started have ended.
template <typename Item, typename Make, typename Weigh, typename Run, typename Take>
void in_order(std::size_t count, std::size_t threads, WorkWindow window, Make make, Weigh weigh,
              Run run, Take take) {
    // A deque keeps the items in place while others are added and removed at its ends.
    std::deque<Item> items;
    std::deque<std::size_t> weights;
    std::size_t held = 0;
    WorkerPool pool(threads);
    std::size_t made = 0;
    for (std::size_t i = 0; i < count; ++i) {
        while (made < count &&
               (made == i || (made - i < window.items && held < window.weight))) {
            Item& item = items.emplace_back(make(made));
            weights.push_back(weigh(item));
            held += weights.back();
            pool.give([&run, &item] { run(item); });
            ++made;
        }
        pool.wait_oldest();
        take(i, items.front());
        held -= weights.front();
        weights.pop_front();
        items.pop_front();
    }
}

}  // namespace torvane::chartdoc
