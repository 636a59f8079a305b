#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include <unistd.h>

namespace helmkit {

// A self-updating line on standard error that shows how far long work has got:
// "Figdeck images 12/100  8.3/s  11 s left". It is drawn only when the descriptor is a
// terminal; otherwise nothing is ever written, so logs, tests and pipes see the same lines.
// Log lines and result lines written meanwhile clear it first and redraw it after.
// At most one line is active at a time; a newer one replaces the older until it ends.
class Progress {
public:
    // Starts a line called `label` for `total` items (0 when the count is unknown: then only
    // the count and the rate are shown). `fd` is where it is drawn, standard error by default.
    Progress(std::string label, std::size_t total, int fd = STDERR_FILENO);
    // Removes the line from the terminal.
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Counts `count` more items done; redraws at most ten times a second, and at the last item.
    void advance(std::size_t count = 1);
    // Starts a new phase of the same work under `label`, counting from 0 of `total`.
    void restart(std::string label, std::size_t total);

    // Returns the line as it would be drawn now, without the terminal control codes.
    std::string text() const;

    // Clears the active line, if one is drawn, before other output reaches the terminal
    // (app_logging and echo call it), and redraws it in its destructor.
    class Pause {
    public:
        Pause();
        ~Pause();
        Pause(const Pause&) = delete;
        Pause& operator=(const Pause&) = delete;
    };

private:
    void draw();
    void clear();

    std::string m_label;
    std::size_t m_total;
    std::size_t m_done = 0;
    int m_fd;
    bool m_terminal;
    bool m_drawn = false;
    Progress* m_previous = nullptr;
    std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::time_point m_last_draw;
};

}  // namespace helmkit
