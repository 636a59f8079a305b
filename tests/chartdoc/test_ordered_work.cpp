#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "torvane/chartdoc/ordered_work.hpp"

using namespace torvane::chartdoc;

namespace {

struct Item {
    std::size_t number;
    std::string result;
};

// Runs that end in a jumbled order: the later an item, the sooner it is done.
void slow_then_fast(Item& item, std::size_t count) {
    std::this_thread::sleep_for(std::chrono::microseconds(200 * ((count - item.number) % 7)));
    item.result = "item " + std::to_string(item.number);
}

Item numbered(std::size_t i) { return Item{i, {}}; }
std::size_t weighs_one(const Item&) { return 1; }

// Counts the runs under way while it lives, however the run ends.
class Running {
public:
    explicit Running(std::atomic<int>& count) : m_count(count) { ++m_count; }
    ~Running() { --m_count; }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

private:
    std::atomic<int>& m_count;
};

}  // namespace

TEST(OrderedWork, TakesResultsInOrderOnTheCallingThreadWhateverOrderTheyEndIn) {
    const auto caller = std::this_thread::get_id();
    for (const std::size_t threads : {0u, 1u, 3u, 8u}) {
        SCOPED_TRACE(threads);
        constexpr std::size_t k_count = 60;
        std::vector<std::size_t> made;
        std::vector<std::string> taken;
        std::mutex mutex;
        std::set<std::thread::id> runners;
        bool off_the_caller = false;
        in_order<Item>(
            k_count, threads, WorkWindow{5},
            [&](std::size_t i) {
                off_the_caller |= std::this_thread::get_id() != caller;
                made.push_back(i);
                return numbered(i);
            },
            weighs_one,
            [&](Item& item) {
                {
                    const std::lock_guard lock(mutex);
                    runners.insert(std::this_thread::get_id());
                }
                slow_then_fast(item, k_count);
            },
            [&](std::size_t i, Item& item) {
                off_the_caller |= std::this_thread::get_id() != caller;
                EXPECT_EQ(item.number, i);
                taken.push_back(item.result);
            });
        EXPECT_FALSE(off_the_caller);
        ASSERT_EQ(taken.size(), k_count);
        for (std::size_t i = 0; i < k_count; ++i) {
            EXPECT_EQ(made[i], i);
            EXPECT_EQ(taken[i], "item " + std::to_string(i));
        }
        if (threads == 0) {
            EXPECT_EQ(runners, std::set<std::thread::id>{caller});
        } else if (threads >= 3) {
            EXPECT_GT(runners.size(), 1u);
        }
    }
}

TEST(OrderedWork, HoldsNoMoreItemsOrWeightThanItsWindow) {
    for (const WorkWindow window : {WorkWindow{1}, WorkWindow{4}, WorkWindow{100, 10}}) {
        std::size_t made = 0;
        std::size_t taken = 0;
        std::size_t most_waiting = 0;
        std::size_t weight = 0;
        std::size_t most_weight = 0;
        // Items weigh 3, then one of 50: alone over the bound, it is still made when nothing waits.
        const auto weight_of = [](std::size_t i) -> std::size_t { return i == 20 ? 50 : 3; };
        in_order<Item>(
            40, 2, window,
            [&](std::size_t i) {
                ++made;
                most_waiting = std::max(most_waiting, made - taken);
                weight += weight_of(i);
                most_weight = std::max(most_weight, weight);
                return numbered(i);
            },
            [&](const Item& item) { return weight_of(item.number); },
            [](Item& item) { slow_then_fast(item, 40); },
            [&](std::size_t, Item& item) {
                ++taken;
                weight -= weight_of(item.number);
            });
        EXPECT_EQ(taken, 40u);
        EXPECT_LE(most_waiting, window.items);
        if (window.weight == 10) {
            // Each item is made while less than 10 is held, so the heavy one is made too.
            EXPECT_GE(most_weight, 50u);
            EXPECT_LE(most_weight, 9u + 50u);
            EXPECT_LE(most_waiting, 4u);
        }
    }
}

TEST(OrderedWork, AFailingRunEndsTheCallInItsTurnAfterTheRunsStarted) {
    std::atomic<int> running{0};
    std::atomic<int> most_running_after{0};
    std::vector<std::size_t> taken;
    try {
        in_order<Item>(
            30, 3, WorkWindow{6}, numbered, weighs_one,
            [&](Item& item) {
                const Running counted(running);
                slow_then_fast(item, 30);
                if (item.number == 7) throw std::runtime_error("item 7 failed");
            },
            [&](std::size_t i, Item&) { taken.push_back(i); });
        FAIL() << "the failure was not passed on";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "item 7 failed");
        most_running_after = running.load();
    }
    // The items before the failing one were taken; no run outlives the call.
    EXPECT_EQ(taken, (std::vector<std::size_t>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(most_running_after.load(), 0);
}

TEST(OrderedWork, AFailingTakeStopsTheWorkAndLeavesNoRunBehind) {
    std::atomic<int> running{0};
    int seen_running = -1;
    try {
        in_order<Item>(
            100, 4, WorkWindow{16}, numbered, weighs_one,
            [&](Item& item) {
                const Running counted(running);
                slow_then_fast(item, 100);
            },
            [](std::size_t i, Item&) {
                if (i == 3) throw std::runtime_error("cannot take");
            });
    } catch (const std::runtime_error&) {
        seen_running = running.load();
    }
    EXPECT_EQ(seen_running, 0);
}

TEST(OrderedWork, ThreadsFollowTorvaneThreads) {
    const char* saved = std::getenv("TORVANE_THREADS");
    const std::string earlier = saved != nullptr ? saved : "";
    ::setenv("TORVANE_THREADS", "1", 1);
    EXPECT_EQ(helper_threads(), 0u);
    ::setenv("TORVANE_THREADS", "5", 1);
    EXPECT_EQ(helper_threads(), 4u);
    const std::size_t processors = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t by_default = std::min<std::size_t>(processors, 8) - 1;
    for (const char* refused : {"0", "65", "two", "3x", ""}) {
        ::setenv("TORVANE_THREADS", refused, 1);
        EXPECT_EQ(helper_threads(), by_default) << refused;
    }
    ::unsetenv("TORVANE_THREADS");
    EXPECT_EQ(helper_threads(), by_default);
    if (saved != nullptr) ::setenv("TORVANE_THREADS", earlier.c_str(), 1);
}
