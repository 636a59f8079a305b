#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shared_strings.hpp"
#include "xml_stream.hpp"
#include "zip_archive.hpp"

namespace helmkit::detail {

// The opened .xlsx package: where the active sheet, the styles and the shared strings are
// (found through the relationships and the workbook part), and what has been read of the
// strings and styles. A missing part the workbook names is damage (Error naming the file).
struct XlsxWorkbook {
    ZipArchive archive;
    std::uint64_t limit;
    XmlStream xml;
    std::string sheet_name;
    std::size_t sheet_count = 0;
    std::uint64_t sheet_index = 0;
    bool date1904 = false;
    std::optional<std::string> styles_part;
    std::optional<std::string> strings_part;
    std::vector<bool> date_styles;
    std::optional<std::uint32_t> styles_read_to;
    SharedStrings strings;
    bool strings_cover_sheet = false;

    // Opens the archive at `path`; no part may inflate beyond `max_entry_size`. Throws Error.
    XlsxWorkbook(const std::filesystem::path& path, std::uint64_t max_entry_size);

    // Returns the archive index of `part`; throws Error when the archive lacks it.
    std::uint64_t require(const std::string& part) const;

    // Finds the sheet named `wanted` (the active one when empty) and the styles and strings
    // parts; reads neither of those two. Throws Error listing the sheets when none is `wanted`.
    void load(std::string_view wanted);

    // Makes sure the date flags of the cell styles up to `last` are known.
    void load_styles(std::uint32_t last);

    // Reads the shared strings numbered in `wanted` (all when null), up to string `last`.
    void load_strings(const std::vector<std::uint32_t>* wanted, std::uint32_t last);

    // The inflated size of the shared strings part, 0 when there is none.
    std::uint64_t strings_part_size() const;
};

}  // namespace helmkit::detail
