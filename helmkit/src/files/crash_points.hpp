#pragma once

namespace helmkit {

// Marks a moment between two steps of writing or moving files at which a crash must leave
// nothing torn and nothing lost. In builds with test hooks (TORVANE_TEST_HOOKS), the process
// kills itself with SIGKILL at the Nth point passed while TORVANE_TEST_KILL_AT=N is set, so
// tests can look at what such a crash leaves on disk. Does nothing otherwise.
void crash_point() noexcept;

}  // namespace helmkit
