#include "torvane/gridpage/command.hpp"

#include "helmkit/base/run_outcome.hpp"
#if GRIDPAGE_HAS_PDF_LIBS
#include "torvane/gridpage/gridpager.hpp"
#endif

namespace torvane::gridpage {

#if GRIDPAGE_HAS_PDF_LIBS
int cmd_gridpage(const nlohmann::ordered_json& section, const std::string&) {
    Gridpager pager(section);
    return helmkit::outcome_status(pager.run().outcome(), 0);
}
#else
// Never reached: without the PDF layer the front stops at the facility check.
int cmd_gridpage(const nlohmann::ordered_json&, const std::string&) { return 1; }
#endif

}  // namespace torvane::gridpage
