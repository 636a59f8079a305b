#pragma once

#include "helmkit/base/app_logging.hpp"

namespace torvane::chartdoc {

inline helmkit::app_logging::Logger& logger() {
    return helmkit::app_logging::lazy_logger("Chartdoc");
}

}  // namespace torvane::chartdoc
