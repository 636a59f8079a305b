#include "shared_strings.hpp"

#include <algorithm>
#include <charconv>
#include <utility>

namespace helmkit {

void decode_escapes(std::string& text) {
    if (text.find("_x") == std::string::npos) return;
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned code = 0;
        if (text[i] == '_' && i + 6 < text.size() && text[i + 1] == 'x' && text[i + 6] == '_') {
            const auto [end, error] = std::from_chars(&text[i + 2], &text[i + 6], code, 16);
            if (error == std::errc() && end == &text[i + 6]) {
                if (code < 0x80) {
                    decoded.push_back(static_cast<char>(code));
                } else if (code < 0x800) {
                    decoded.push_back(static_cast<char>(0xC0 | (code >> 6)));
                    decoded.push_back(static_cast<char>(0x80 | (code & 0x3F)));
                } else {
                    decoded.push_back(static_cast<char>(0xE0 | (code >> 12)));
                    decoded.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
                    decoded.push_back(static_cast<char>(0x80 | (code & 0x3F)));
                }
                i += 6;
                continue;
            }
        }
        decoded.push_back(text[i]);
    }
    text = std::move(decoded);
}

class SharedStringsHandler : public XmlHandler {
public:
    SharedStringsHandler(SharedStrings& strings, XmlStream& xml,
                         const std::vector<std::uint32_t>* wanted, std::uint32_t last)
        : m_strings(strings), m_xml(xml), m_wanted(wanted), m_last(last) {}

    void start(std::string_view name, const char**) override {
        if (name == "si") {
            m_current.clear();
            m_keep = m_wanted == nullptr ||
                     (m_next < m_wanted->size() && (*m_wanted)[m_next] == m_strings.m_count);
        } else if (name == "rPh") {
            m_in_phonetic = true;
        } else if (name == "t" && !m_in_phonetic) {
            m_capture = m_keep;
        }
    }

    void end(std::string_view name) override {
        if (name == "t") {
            m_capture = false;
        } else if (name == "rPh") {
            m_in_phonetic = false;
        } else if (name == "si") {
            if (m_keep) {
                decode_escapes(m_current);
                m_strings.m_pool += m_current;
                m_strings.m_ends.push_back(m_strings.m_pool.size());
                if (m_wanted != nullptr) {
                    m_strings.m_indexes.push_back(m_strings.m_count);
                    ++m_next;
                }
            }
            if (m_strings.m_count++ == m_last) m_xml.stop();
        }
    }

    void text(std::string_view data) override {
        if (m_capture) m_current.append(data);
    }

private:
    SharedStrings& m_strings;
    XmlStream& m_xml;
    const std::vector<std::uint32_t>* m_wanted;
    std::uint32_t m_last;
    std::size_t m_next = 0;
    std::string m_current;
    bool m_keep = false;
    bool m_capture = false;
    bool m_in_phonetic = false;
};

void SharedStrings::load(XmlStream& xml, const ZipArchive& archive, std::uint64_t index,
                         std::uint64_t limit, const std::vector<std::uint32_t>* wanted,
                         std::uint32_t last) {
    *this = SharedStrings();
    SharedStringsHandler handler(*this, xml, wanted, last);
    xml.parse(archive, index, limit, handler);
    m_pool.shrink_to_fit();
    m_ends.shrink_to_fit();
}

std::string_view SharedStrings::at(std::uint32_t index) const {
    std::size_t slot = index;
    if (!m_indexes.empty() || m_ends.size() != m_count) {
        const auto found = std::lower_bound(m_indexes.begin(), m_indexes.end(), index);
        if (found == m_indexes.end() || *found != index) return {};
        slot = static_cast<std::size_t>(found - m_indexes.begin());
    }
    const std::size_t begin = slot == 0 ? 0 : m_ends[slot - 1];
    return std::string_view(m_pool).substr(begin, m_ends[slot] - begin);
}

}  // namespace helmkit
