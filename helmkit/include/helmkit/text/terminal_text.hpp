#pragma once

#include <string>
#include <string_view>

namespace helmkit {

// Returns `text` with every control character a terminal would act on (C0 but tab and line
// feed, DEL, and the C1 controls U+0080 to U+009F) written as a visible escape ("\r", "\x1b",
// "\u009b"), so that a file name or a cell text cannot move the cursor, recolour the screen or
// retitle the terminal. Line feeds stay: some messages are two lines on purpose. Other bytes,
// valid UTF-8 or not, are kept as they are.
std::string terminal_safe(std::string_view text);

}  // namespace helmkit
