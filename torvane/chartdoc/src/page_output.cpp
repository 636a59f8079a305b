#include "torvane/chartdoc/page_output.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

#include "helmkit/base/error.hpp"

namespace torvane::chartdoc {

namespace {

std::string size_text(std::size_t bytes) {
    if (bytes % (std::size_t{1} << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
    return std::to_string(bytes) + " bytes";
}

}  // namespace

std::string page_limit_message(std::size_t limit) {
    return "its page would be larger than " + size_text(limit) + ", the most a page may hold";
}

PageOutput::PageOutput(std::function<void(std::string_view)> deliver, std::size_t limit)
    : m_deliver(std::move(deliver)),
      m_limit(limit),
      m_piece(std::make_unique_for_overwrite<char[]>(k_piece)) {}

std::string PageOutput::release() {
    check_limit();
    m_handed_on += m_used;
    return std::string(m_piece.get(), std::exchange(m_used, 0));
}

void PageOutput::check_limit() const {
    if (size() > m_limit) throw helmkit::Error(page_limit_message(m_limit));
}

void PageOutput::hand_on() {
    check_limit();
    if (m_used == 0) return;
    m_deliver(std::string_view(m_piece.get(), m_used));
    m_handed_on += m_used;
    m_used = 0;
}

void PageOutput::write_to_the_end(std::string_view text) {
    while (!text.empty()) {
        const std::size_t part = std::min(text.size(), k_piece - m_used);
        std::memcpy(m_piece.get() + m_used, text.data(), part);
        m_used += part;
        text.remove_prefix(part);
        if (m_used == k_piece) hand_on();
    }
}

}  // namespace torvane::chartdoc
