#include "torvane/chartdoc/site_links.hpp"

namespace torvane::chartdoc {

namespace {

bool is_unreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           c == '-' || c == '.' || c == '_' || c == '~';
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::string percent_decoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = hex_value(text[i + 1]);
            const int low = hex_value(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// Letters, digits and "+-." before a ":", starting with a letter, all before any "/", "?" or "#".
bool has_scheme(std::string_view href) {
    for (std::size_t i = 0; i < href.size(); ++i) {
        const char c = href[i];
        if (c == ':') return i > 0;
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        const bool other = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
        if (!letter && !(other && i > 0)) return false;
    }
    return false;
}

std::string percent_encoded(std::string_view name) {
    static constexpr char k_hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(name.size());
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (is_unreserved(byte)) {
            out += c;
        } else {
            out += '%';
            out += k_hex[byte >> 4];
            out += k_hex[byte & 0xf];
        }
    }
    return out;
}

SiteLinks::SiteLinks(const std::vector<std::pair<std::string, std::string>>& pages) {
    for (const auto& [document, page] : pages) m_pages.emplace(document, page);
}

std::optional<std::string> SiteLinks::page_href(std::string_view href) const {
    if (m_pages.empty() || href.empty() || has_scheme(href)) return std::nullopt;
    const std::size_t end = href.find_first_of("?#");
    std::string_view path = href.substr(0, end);
    if (path.substr(0, 2) == "./") path.remove_prefix(2);
    if (path.empty() || path.find('/') != std::string_view::npos) return std::nullopt;
    const auto found = m_pages.find(percent_decoded(path));
    if (found == m_pages.end()) return std::nullopt;
    std::string out = percent_encoded(found->second);
    if (end != std::string_view::npos) out.append(href.substr(end));
    return out;
}

}  // namespace torvane::chartdoc
