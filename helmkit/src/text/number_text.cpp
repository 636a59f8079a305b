#include "helmkit/text/number_text.hpp"

#include <charconv>
#include <cmath>

#include "helmkit/text/ascii_case.hpp"

namespace helmkit {

namespace {

// Length of the decimal number at the start of `text` (digits, fraction, exponent; no sign),
// or 0 when there is none. Sets `whole` when it has neither fraction nor exponent.
std::size_t decimal_length(std::string_view text, bool& whole) {
    std::size_t i = 0;
    while (i < text.size() && is_ascii_digit(text[i])) ++i;
    const std::size_t int_digits = i;
    std::size_t frac_digits = 0;
    whole = true;
    if (i < text.size() && text[i] == '.') {
        whole = false;
        ++i;
        while (i < text.size() && is_ascii_digit(text[i])) ++i, ++frac_digits;
        if (frac_digits == 0) return 0;
    }
    if (int_digits == 0 && frac_digits == 0) return 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        whole = false;
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        const std::size_t exp_start = i;
        while (i < text.size() && is_ascii_digit(text[i])) ++i;
        if (i == exp_start) return 0;
    }
    return i;
}

std::optional<CellValue> whole_or_real(std::string_view text, bool whole) {
    if (whole) {
        std::int64_t number = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
        if (error == std::errc() && end == text.data() + text.size()) return CellValue(number);
    }
    double real = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), real);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(real)) {
        return std::nullopt;
    }
    return CellValue(real);
}

// A real number without a fraction part that an int64 holds becomes that int64.
CellValue normalise_whole(double real) {
    if (std::trunc(real) == real && real >= -9.2233720368547758e18 && real < 9.2233720368547758e18) {
        return static_cast<std::int64_t>(real);
    }
    return real;
}

}  // namespace

std::string_view trim_blanks(std::string_view text) {
    constexpr std::string_view k_blanks = " \t\r\n";
    const auto first = text.find_first_not_of(k_blanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(k_blanks) - first + 1);
}

std::optional<CellValue> parse_plain_number(std::string_view field) {
    std::string_view digits = field;
    if (!digits.empty() && digits.front() == '-') digits.remove_prefix(1);
    bool whole = true;
    if (digits.empty() || decimal_length(digits, whole) != digits.size()) return std::nullopt;
    if (digits.size() > 1 && digits[0] == '0' && is_ascii_digit(digits[1])) return std::nullopt;
    if (digits.front() == '.') return std::nullopt;
    return whole_or_real(field, whole);
}

std::optional<CellValue> parse_decimal_comma_number(std::string_view field) {
    std::string plain;
    plain.reserve(field.size());
    std::size_t at = 0;
    if (at < field.size() && field[at] == '-') plain += field[at++];
    const std::size_t first = at;
    while (at < field.size() && is_ascii_digit(field[at])) plain += field[at++];
    std::size_t lead = at - first;
    if (lead == 0 || (lead > 1 && field[first] == '0')) return std::nullopt;
    if (at < field.size() && field[at] == '.') {
        // Thousands: a leading group of one to three digits, then groups of exactly three.
        if (lead > 3) return std::nullopt;
        while (at < field.size() && field[at] == '.') {
            ++at;
            for (int i = 0; i < 3; ++i, ++at) {
                if (at >= field.size() || !is_ascii_digit(field[at])) return std::nullopt;
                plain += field[at];
            }
        }
        if (field[first] == '0') return std::nullopt;
    }
    bool whole = true;
    if (at < field.size() && field[at] == ',') {
        whole = false;
        plain += '.';
        const std::size_t fraction = ++at;
        while (at < field.size() && is_ascii_digit(field[at])) plain += field[at++];
        if (at == fraction) return std::nullopt;
    }
    if (at != field.size()) return std::nullopt;
    return whole_or_real(plain, whole);
}

std::optional<CellValue> read_as_number(const CellValue& value) {
    switch (value.index()) {
        case 1: return value;
        case 2: {
            const double real = std::get<double>(value);
            if (!std::isfinite(real)) return std::nullopt;
            return normalise_whole(real);
        }
        case 3: {
            std::string_view text = trim_blanks(std::get<std::string>(value));
            const bool negative = !text.empty() && text.front() == '-';
            if (!text.empty() && (text.front() == '+' || negative)) text.remove_prefix(1);
            bool whole = true;
            if (text.empty() || decimal_length(text, whole) != text.size()) return std::nullopt;
            auto number = whole_or_real(text, whole);
            if (!number) return std::nullopt;
            if (auto* integer = std::get_if<std::int64_t>(&*number)) {
                return negative ? CellValue(-*integer) : *number;
            }
            const double real = std::get<double>(*number);
            return normalise_whole(negative ? -real : real);
        }
        default: return std::nullopt;
    }
}

}  // namespace helmkit
