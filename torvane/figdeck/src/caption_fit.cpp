#include "torvane/figdeck/caption_fit.hpp"

#include <cmath>
#include <optional>

#include "helmkit/text/utf8.hpp"

namespace torvane::figdeck {

namespace {

constexpr double k_largest_size = 8;
constexpr double k_smallest_size = 5;
constexpr double k_size_step = 0.5;
constexpr std::string_view k_ellipsis = "\u2026";

double line_height(double size) { return size / 2; }

bool is_break_after(char c) { return c == ' ' || c == '_' || c == '-' || c == '\n'; }

// The text cut after every place a line may break; line feeds count as blanks.
std::vector<std::string> pieces_of(std::string_view text) {
    std::vector<std::string> pieces(1);
    for (const char c : text) {
        pieces.back() += c == '\n' ? ' ' : c;
        if (is_break_after(c)) pieces.emplace_back();
    }
    if (pieces.back().empty()) pieces.pop_back();
    return pieces;
}

std::string trimmed_right(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

std::string trimmed_left(std::string text) {
    text.erase(0, text.find_first_not_of(' '));
    return text;
}

// `piece` cut into runs of whole characters that fit `room_w` each (one character at least).
std::vector<std::string> broken_word(const std::string& piece, double room_w, double size,
                                     const TextWidth& width) {
    std::vector<std::string> parts(1);
    for (const char32_t c : helmkit::decode_utf8(piece, U'\uFFFD')) {
        std::u32string one(1, c);
        const std::string next = parts.back() + helmkit::encode_utf8(one);
        if (!parts.back().empty() && width(trimmed_right(next), size) > room_w) {
            parts.push_back(helmkit::encode_utf8(one));
        } else {
            parts.back() = next;
        }
    }
    return parts;
}

// The lines of `text` at `size`, filled greedily; nothing when a word is wider than the room
// and `break_words` is false.
std::optional<std::vector<std::string>> wrapped(std::string_view text, double room_w, double size,
                                                const TextWidth& width, bool break_words) {
    std::vector<std::string> lines;
    std::string line;
    for (const auto& piece : pieces_of(text)) {
        std::vector<std::string> parts{piece};
        if (width(trimmed_right(trimmed_left(piece)), size) > room_w) {
            if (!break_words) return std::nullopt;
            parts = broken_word(trimmed_left(piece), room_w, size, width);
        }
        for (const auto& part : parts) {
            const std::string joined = line + part;
            if (line.empty() || width(trimmed_right(joined), size) <= room_w) {
                line = line.empty() && !lines.empty() ? trimmed_left(joined) : joined;
                continue;
            }
            lines.push_back(trimmed_right(line));
            line = trimmed_left(part);
        }
    }
    if (!trimmed_right(line).empty()) lines.push_back(trimmed_right(line));
    return lines;
}

// `line` shortened by whole characters until it fits `room_w` with the ellipsis after it.
std::string with_ellipsis(const std::string& line, double room_w, double size,
                          const TextWidth& width) {
    auto chars = helmkit::decode_utf8(line, U'\uFFFD');
    while (!chars.empty()) {
        const std::string kept = trimmed_right(helmkit::encode_utf8(chars));
        if (width(kept + std::string(k_ellipsis), size) <= room_w) {
            return kept + std::string(k_ellipsis);
        }
        chars.pop_back();
    }
    return std::string(k_ellipsis);
}

std::size_t lines_in(double room_h, double size) {
    // A hair of tolerance, so that a room of exactly n lines holds n.
    return static_cast<std::size_t>(std::floor(room_h / line_height(size) + 1e-9));
}

}  // namespace

FittedCaption fit_caption(std::string_view text, double room_w, double room_h,
                          const TextWidth& width) {
    for (double size = k_largest_size; size >= k_smallest_size; size -= k_size_step) {
        auto lines = wrapped(text, room_w, size, width, false);
        if (lines && lines->size() <= lines_in(room_h, size)) {
            return {size, line_height(size), std::move(*lines)};
        }
    }
    FittedCaption fitted{k_smallest_size, line_height(k_smallest_size), {}};
    const std::size_t room_lines = lines_in(room_h, k_smallest_size);
    if (room_lines == 0) return fitted;
    fitted.lines = std::move(*wrapped(text, room_w, k_smallest_size, width, true));
    if (fitted.lines.size() > room_lines) {
        fitted.lines.resize(room_lines);
        fitted.lines.back() = with_ellipsis(fitted.lines.back(), room_w, k_smallest_size, width);
    }
    return fitted;
}

}  // namespace torvane::figdeck
