#pragma once

#include "helmkit/base/app_logging.hpp"

namespace torvane::claimsort {

inline helmkit::app_logging::Logger& logger() {
    return helmkit::app_logging::lazy_logger("Claimsort");
}

}  // namespace torvane::claimsort
