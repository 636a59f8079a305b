#include "helmkit/table/cell_order.hpp"

#include <cmath>

namespace helmkit {

namespace {

enum Rank { number_rank, date_rank, bool_rank, text_rank, missing_rank };

Rank rank_of(const CellValue& value) {
    switch (value.index()) {
        case 1: return number_rank;
        case 2: return std::isnan(std::get<double>(value)) ? missing_rank : number_rank;
        case 3: return text_rank;
        case 4: return bool_rank;
        case 5: return date_rank;
        default: return missing_rank;
    }
}

template <class T>
int three_way(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

// long double holds every int64 exactly on the platforms we build for, so a whole number
// and a real number compare by their true values.
long double number_of(const CellValue& value) {
    if (const auto* whole = std::get_if<std::int64_t>(&value)) return static_cast<long double>(*whole);
    return static_cast<long double>(std::get<double>(value));
}

}  // namespace

int compare_cells(const CellValue& a, const CellValue& b) {
    const Rank rank_a = rank_of(a);
    const Rank rank_b = rank_of(b);
    if (rank_a != rank_b) return rank_a < rank_b ? -1 : 1;
    switch (rank_a) {
        case number_rank:
            if (a.index() == 1 && b.index() == 1) {
                return three_way(std::get<std::int64_t>(a), std::get<std::int64_t>(b));
            }
            return three_way(number_of(a), number_of(b));
        case date_rank: return three_way(std::get<DateTime>(a), std::get<DateTime>(b));
        case bool_rank: return three_way(std::get<bool>(a), std::get<bool>(b));
        case text_rank: {
            // char_traits<char> compares bytes as unsigned, and UTF-8 byte order is code point order.
            const int c = std::get<std::string>(a).compare(std::get<std::string>(b));
            return c < 0 ? -1 : (c > 0 ? 1 : 0);
        }
        default: return 0;
    }
}

}  // namespace helmkit
