#include "helmkit/base/process_setup.hpp"

#include <malloc.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace helmkit {

namespace {

bool g_time_zone_pinned = false;

}  // namespace

void setup_process() {
    if (std::getenv("TZ") == nullptr) {
        // Without TZ, glibc checks /etc/localtime again at every local-time conversion; with
        // TZ naming that same file it reads it once. The zone stays the system's.
        ::setenv("TZ", ":/etc/localtime", 1);
        ::tzset();
        g_time_zone_pinned = true;
    }
    // Workbooks and pages are read one after another, each needing about the same memory;
    // trimming the heap after each and growing it again costs two system calls a file.
    ::mallopt(M_TRIM_THRESHOLD, 256 << 20);
    ::mallopt(M_TOP_PAD, 16 << 20);
    ::mallopt(M_MMAP_THRESHOLD, 32 << 20);
}

char** child_environment() {
    if (!g_time_zone_pinned) return environ;
    static thread_local std::vector<char*> without_time_zone;
    without_time_zone.clear();
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "TZ=", 3) != 0) without_time_zone.push_back(*entry);
    }
    without_time_zone.push_back(nullptr);
    return without_time_zone.data();
}

}  // namespace helmkit
