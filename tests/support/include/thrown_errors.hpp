#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "helmkit/base/error.hpp"

namespace torvane_test {

// The message of the helmkit::Error that `action` throws; a test failure and "" when it throws
// none.
inline std::string error_of(const std::function<void()>& action) {
    try {
        action();
    } catch (const helmkit::Error& error) {
        return error.what();
    }
    ADD_FAILURE() << "no helmkit::Error thrown";
    return {};
}

inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace torvane_test
