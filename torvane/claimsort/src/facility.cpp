// Whether this build has workbook reading (TORVANE_WORKBOOK_READ on and libzip + expat found):
// the one file whose compilation the build option changes. Declared in command.hpp, which it
// does not include: it compiles in an instant in each configuration.
namespace torvane::claimsort {

extern const bool HAS_OPENPYXL = CLAIMSORT_HAS_OPENPYXL != 0;

}  // namespace torvane::claimsort
