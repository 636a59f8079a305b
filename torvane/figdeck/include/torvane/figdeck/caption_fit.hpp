#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace torvane::figdeck {

// The height of one line at the smallest caption size, 5 pt.
inline constexpr double k_smallest_caption_line_h = 2.5;

// A caption laid out in the room under its figure.
struct FittedCaption {
    double size = 8;    // font size in points
    double line_h = 4;  // mm from one line to the next
    std::vector<std::string> lines;
};

// The width in mm of `text` (UTF-8) drawn at `size` points.
using TextWidth = std::function<double(std::string_view text, double size)>;

// Lays out `text` in `room_w` by `room_h` mm, breaking lines only after blanks, "_" and "-",
// at the largest size from 8 pt down to 5 pt (in 0.5 pt steps; 4 mm a line at 8 pt, in
// proportion below) at which every word fits the width and every line the height. When none
// does, at 5 pt a word wider than the room is broken where it must, and the lines beyond the
// room are dropped, the last kept one ending in "…". No lines when not one 5 pt line fits.
FittedCaption fit_caption(std::string_view text, double room_w, double room_h,
                          const TextWidth& width);

}  // namespace torvane::figdeck
