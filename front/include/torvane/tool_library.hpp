#pragma once

#include <string>

#include "torvane/command_entry.hpp"

namespace torvane::front {

// Opens the tool library `library` (a file name, looked up in the program's run path) and
// returns its worker `symbol`. Throws helmkit::Error with the loader's reason when the library
// or the symbol cannot be found.
Worker open_worker(const std::string& library, const std::string& symbol);

}  // namespace torvane::front
