#include "helmkit/text/natural_order.hpp"

#include <cstddef>

#include "helmkit/text/ascii_case.hpp"

namespace helmkit {

namespace {

// Compares the digit runs starting at a[i] and b[j] by value and advances both indices.
int compare_digit_runs(std::string_view a, std::size_t& i, std::string_view b, std::size_t& j) {
    while (i < a.size() && a[i] == '0') ++i;
    while (j < b.size() && b[j] == '0') ++j;
    const std::size_t start_a = i;
    const std::size_t start_b = j;
    while (i < a.size() && is_ascii_digit(a[i])) ++i;
    while (j < b.size() && is_ascii_digit(b[j])) ++j;
    const std::size_t len_a = i - start_a;
    const std::size_t len_b = j - start_b;
    if (len_a != len_b) return len_a < len_b ? -1 : 1;
    const int order = a.substr(start_a, len_a).compare(b.substr(start_b, len_b));
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

}  // namespace

bool natural_less(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (is_ascii_digit(a[i]) && is_ascii_digit(b[j])) {
            const int order = compare_digit_runs(a, i, b, j);
            if (order != 0) return order < 0;
            continue;
        }
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[j]);
        if (ca != cb) return ca < cb;
        ++i;
        ++j;
    }
    if ((i < a.size()) != (j < b.size())) return j < b.size();
    // UTF-8 byte order is code-point order.
    return a < b;
}

}  // namespace helmkit
