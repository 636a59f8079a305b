#pragma once

#include <string>
#include <string_view>

namespace torvane::manpage {

// Returns `text` as roff input that groff prints as written: backslashes, hyphens and every
// character outside printable ASCII escaped, and a line that would start with a dot or an
// apostrophe (a request) protected. Line feeds are kept.
std::string roff_text(std::string_view text);

// Returns one line of README Markdown as roff text: `code` spans in bold, [text](target)
// links as their text, <br> as a line break, the rest as roff_text.
std::string roff_from_markdown(std::string_view markdown);

// Returns a command's help text as man page paragraphs: a paragraph after a line holding
// only U+0008 line for line in no-fill mode, every other paragraph filled by groff.
std::string roff_help_text(std::string_view help);

}  // namespace torvane::manpage
