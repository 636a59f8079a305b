#include "crash_points.hpp"

#include <csignal>
#include <cstdlib>

namespace helmkit {

#if TORVANE_TEST_HOOKS

void crash_point() noexcept {
    // Read at every point and counted only while set, so a test that sets it in a child
    // process counts that child's points alone.
    static long passed = 0;
    const char* kill_at = std::getenv("TORVANE_TEST_KILL_AT");
    if (kill_at == nullptr) return;
    if (++passed == std::atol(kill_at)) std::raise(SIGKILL);
}

#else

void crash_point() noexcept {}

#endif

}  // namespace helmkit
