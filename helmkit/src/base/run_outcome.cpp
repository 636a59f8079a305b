#include "helmkit/base/run_outcome.hpp"

#include <cstdlib>
#include <cstring>

namespace helmkit {

bool strict_outcomes() {
    const char* value = std::getenv("TORVANE_STRICT");
    return value != nullptr && std::strcmp(value, "1") == 0;
}

int outcome_status(RunOutcome outcome, int status) {
    if (status != 0 || !strict_outcomes()) return status;
    switch (outcome) {
        case RunOutcome::done: return 0;
        case RunOutcome::failed: return 1;
        case RunOutcome::partly_done: return 3;
    }
    return status;
}

}  // namespace helmkit
