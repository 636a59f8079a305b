#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "helmkit/base/child_process.hpp"

namespace helmkit {

// A copy of this process that runs one piece of work and sends its result back through a
// pipe. Libraries that may misbehave on damaged input run there: a crash, a hang or a memory
// blow-up ends the child, never the caller. Start one only while no other thread of this
// process runs: a lock another thread holds at the fork stays locked in the child for good.
class ForkedChild {
public:
    // What the child may spend before it is ended: CPU seconds, and address space in bytes
    // (not applied under AddressSanitizer, which reserves far more than it uses), both counted
    // by the system; and seconds of waiting for its next bytes, counted by the reading side.
    struct Limits {
        unsigned cpu_seconds = 60;
        std::size_t address_space = std::size_t{1} << 30;
        unsigned quiet_seconds = 120;
    };

    // Forks; the child runs `work` with a ChildOutput, its standard error sent to /dev/null,
    // and ends with status 0 (1 when `work` throws). Throws Error when it cannot fork.
    class ChildOutput;
    ForkedChild(const std::function<void(ChildOutput&)>& work, const Limits& limits);
    // Ends the child when it still runs, and reaps it.
    ~ForkedChild();
    ForkedChild(const ForkedChild&) = delete;
    ForkedChild& operator=(const ForkedChild&) = delete;

    // Fills `data` with the next `size` bytes the child sent. Returns false when the child
    // stopped sending before all of them, or sent nothing for `quiet_seconds` (it is then
    // ended with SIGKILL).
    bool read(void* data, std::size_t size);
    // Reads a length-prefixed text written by ChildOutput::write_text; false as read(), or when
    // the child announces more than `limit` bytes (a child gone wrong may send any length).
    bool read_text(std::string& text, std::size_t limit);
    // Stops reading, waits for the child to end and returns how it ended.
    ProcessStatus finish();
    // Ends the child with SIGKILL when it still runs, then as finish().
    ProcessStatus stop();

    // The child's side: buffered writes into the pipe.
    class ChildOutput {
    public:
        explicit ChildOutput(int fd) : m_fd(fd) {}
        void write(const void* data, std::size_t size);
        void write_text(std::string_view text);
        // Sends what is buffered; also done when the work returns.
        void flush();

    private:
        int m_fd;
        std::string m_buffer;
    };

private:
    bool fill();

    pid_t m_pid = -1;
    unsigned m_quiet_seconds = 0;
    int m_fd = -1;
    std::string m_buffer;
    std::size_t m_offset = 0;
    bool m_finished = false;
    ProcessStatus m_status;
};

}  // namespace helmkit
