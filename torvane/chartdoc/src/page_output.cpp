#include "torvane/chartdoc/page_output.hpp"

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
    : m_deliver(std::move(deliver)), m_limit(limit) {
    m_buffer.reserve(k_piece + k_piece / 4);
}

std::string PageOutput::release() {
    check_limit();
    m_handed_on += m_buffer.size();
    return std::exchange(m_buffer, {});
}

void PageOutput::check_limit() const {
    if (size() > m_limit) throw helmkit::Error(page_limit_message(m_limit));
}

void PageOutput::hand_on() {
    check_limit();
    if (m_buffer.empty()) return;
    m_deliver(m_buffer);
    m_handed_on += m_buffer.size();
    m_buffer.clear();
}

}  // namespace torvane::chartdoc
