#pragma once

#include <string>
#include <string_view>

namespace helmkit {

// Returns `text`, read as Windows-1252 (the encoding of Western European Windows exports),
// as UTF-8. The five bytes that code page leaves undefined become the C1 controls of the same
// value, so no byte is lost.
std::string windows_1252_to_utf8(std::string_view text);

}  // namespace helmkit
