#pragma once

namespace helmkit {

// How a run ended, for scripts that ask for strict exit statuses.
enum class RunOutcome {
    done,         // everything asked for was done (or there was nothing to do)
    failed,       // nothing was done because of an error
    partly_done,  // some items failed, others were done
};

// Returns whether TORVANE_STRICT=1 is set in the environment.
bool strict_outcomes();

// Returns the exit status of a run that ended with `outcome` and whose behaviour gives
// `status`: `status` itself, unless strict_outcomes(): then 1 for a failed run and 3 for a
// partly done one (a non-zero `status` is kept as it is).
int outcome_status(RunOutcome outcome, int status);

}  // namespace helmkit
