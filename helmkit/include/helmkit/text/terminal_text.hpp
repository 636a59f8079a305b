#pragma once

#include <string>
#include <string_view>

namespace helmkit {

// Returns `text` with every control character a terminal would act on (C0 but tab, DEL, and
// the C1 controls U+0080 to U+009F) written as a visible escape ("\n", "\x1b", "\u009b"), so
// that a file name or a cell text cannot move the cursor, recolour the screen or forge a line.
// With `keep_line_feeds`, line feeds stay, for a message made of several lines on purpose.
// Other bytes, valid UTF-8 or not, are kept as they are. Never throws but bad_alloc.
std::string terminal_safe(std::string_view text, bool keep_line_feeds = false);

}  // namespace helmkit
