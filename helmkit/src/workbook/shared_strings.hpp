#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "xml_stream.hpp"
#include "zip_archive.hpp"

namespace helmkit {

// Decodes the "_xHHHH_" escapes that OOXML writes for characters XML cannot hold ("_x000D_").
void decode_escapes(std::string& text);

// The shared strings of a workbook, or the few of them that a reader needs: the kept texts
// sit in one pool, so memory follows the strings kept, not the size of the part's XML.
// Rich-text runs are joined and phonetic runs left out.
class SharedStrings {
public:
    // Reads the strings part at `index`, keeping every string when `wanted` is null and
    // otherwise those whose numbers `wanted` lists (ascending, no repeats); stops after the
    // string numbered `last`. Throws Error as XmlStream::parse does.
    void load(XmlStream& xml, const ZipArchive& archive, std::uint64_t index, std::uint64_t limit,
              const std::vector<std::uint32_t>* wanted, std::uint32_t last);

    // How many strings the part holds, as far as it was read.
    std::uint32_t count() const { return m_count; }
    // Whether every string up to count() is kept.
    bool complete() const { return m_indexes.empty() && m_ends.size() == m_count; }
    // The string numbered `index` (below count()), or empty when it was not kept.
    std::string_view at(std::uint32_t index) const;

private:
    friend class SharedStringsHandler;

    std::string m_pool;
    std::vector<std::size_t> m_ends;        // where each kept string ends in m_pool
    std::vector<std::uint32_t> m_indexes;   // the numbers of the kept strings, unless all are
    std::uint32_t m_count = 0;
};

}  // namespace helmkit
