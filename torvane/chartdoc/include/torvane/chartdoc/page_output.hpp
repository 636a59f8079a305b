#pragma once

#include <cstddef>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace torvane::chartdoc {

// The most a document's page may hold. Link reference definitions let a small document repeat
// a long destination many times, so a page is refused before it grows past this.
inline constexpr std::size_t k_page_limit = std::size_t{64} << 20;

// Returns the message of a page refused for growing past `limit` bytes.
std::string page_limit_message(std::size_t limit);

// Collects a page as it is produced and hands it on to `deliver` in pieces of 64 KiB, so that
// no page is ever held whole in memory. Most writes are a tag or a few words: they are copied
// into the piece without a call.
class PageOutput {
public:
    // `deliver` receives each piece in order; `limit` is the most the page may hold.
    PageOutput(std::function<void(std::string_view)> deliver, std::size_t limit = k_page_limit);

    // Adds `text` to the page. Throws helmkit::Error when the page grows past its limit, and
    // what `deliver` throws.
    void write(std::string_view text) {
        if (text.size() < k_piece - m_used) {
            std::memcpy(m_piece.get() + m_used, text.data(), text.size());
            m_used += text.size();
            return;
        }
        write_to_the_end(text);
    }
    // Hands on what is still collected. Throws as write() does.
    void finish() { hand_on(); }
    // Returns what is still collected instead of handing it on, leaving nothing collected: a
    // page shorter than a piece is then never handed on. Throws helmkit::Error as write() does.
    std::string release();

    // The number of bytes written so far.
    std::size_t size() const { return m_handed_on + m_used; }

private:
    static constexpr std::size_t k_piece = std::size_t{64} << 10;

    void check_limit() const;
    void hand_on();
    // write() of a text that fills the piece: each full piece is handed on.
    void write_to_the_end(std::string_view text);

    std::function<void(std::string_view)> m_deliver;
    std::size_t m_limit;
    std::size_t m_handed_on = 0;
    std::unique_ptr<char[]> m_piece;
    std::size_t m_used = 0;
};

}  // namespace torvane::chartdoc
