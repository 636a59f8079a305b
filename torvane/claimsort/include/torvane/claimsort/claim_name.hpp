#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace torvane::claimsort {

// The most bytes a file name may hold on the file systems a run meets.
inline constexpr std::size_t k_file_name_limit = 255;

// Returns `safe_name` + "_" + `safe_amount` + "_" + `datecode` + ".xlsx". When that would not
// leave room within k_file_name_limit for the "_N" a taken name gets, `safe_name` is cut (and
// then `safe_amount`, when it alone is too long) at a character boundary; the amount, the stamp
// and the extension are kept whole whenever they fit. The parts must be valid UTF-8.
std::string claim_file_name(std::string_view safe_name, std::string_view safe_amount,
                            std::string_view datecode);

}  // namespace torvane::claimsort
