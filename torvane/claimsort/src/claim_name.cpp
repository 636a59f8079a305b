#include "torvane/claimsort/claim_name.hpp"

#include "helmkit/text/utf8.hpp"

namespace torvane::claimsort {

namespace {

constexpr std::string_view k_extension = ".xlsx";

// A taken name gets "_2" to "_9999" before its extension, so a new name leaves room for that.
constexpr std::size_t k_free_name_room = 5;

// The longest start of `text` of at most `limit` bytes that ends at a character boundary.
std::string_view cut(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return text;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

}  // namespace

std::string claim_file_name(std::string_view safe_name, std::string_view safe_amount,
                            std::string_view datecode) {
    const std::size_t budget = k_file_name_limit - k_free_name_room;
    const std::size_t fixed = 2 + datecode.size() + k_extension.size();
    const std::size_t room = budget > fixed ? budget - fixed : 0;
    // A cut can leave a blank at the end of a part, before its "_".
    const auto amount = helmkit::trim_white_space(cut(safe_amount, room));
    const auto name = helmkit::trim_white_space(cut(safe_name, room - amount.size()));
    std::string file_name;
    file_name.reserve(name.size() + amount.size() + fixed);
    file_name.append(name).append("_").append(amount).append("_").append(datecode).append(
        k_extension);
    return file_name;
}

}  // namespace torvane::claimsort
