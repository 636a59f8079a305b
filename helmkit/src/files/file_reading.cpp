// Whole-file reading, raw and as UTF-8 text.
#include <utility>

#include "helmkit/base/error.hpp"
#include "helmkit/files/file_mg.hpp"
#include "helmkit/text/utf8.hpp"
#include "helmkit/files/read_chunks.hpp"

namespace fs = std::filesystem;

namespace helmkit::fileMg {

std::string read_file(const fs::path& path) {
    return ReadableFile(path).read_all();
}

std::string read_text_file(const fs::path& path) { return text_of_file(path, read_file(path)); }

std::string text_of_file(const fs::path& path, std::string content) {
    const auto bad = find_invalid_utf8(content);
    if (bad != std::string_view::npos) {
        throw Error("'" + path.string() + "' is not UTF-8 text (invalid byte at offset " +
                    std::to_string(bad) + ")");
    }
    return normalise_line_breaks(std::move(content));
}

}  // namespace helmkit::fileMg
