#include "helmkit/base/config_value.hpp"

#include <gtest/gtest.h>

#include <functional>

#include "helmkit/base/error.hpp"
#include "thrown_errors.hpp"

using torvane_test::error_of;

namespace {

const nlohmann::ordered_json k_section = nlohmann::ordered_json::parse(
    R"({"on": true, "off": false, "word": "yes", "one": 1, "size": 2.5, "name": "x"})");

}  // namespace

TEST(ConfigValue, ValuesOfTheRightTypeOrTheFallbackWhenAbsent) {
    EXPECT_TRUE(helmkit::bool_or(k_section, "on", false, "s"));
    EXPECT_FALSE(helmkit::bool_or(k_section, "off", true, "s"));
    EXPECT_TRUE(helmkit::bool_or(k_section, "absent", true, "s"));
    EXPECT_DOUBLE_EQ(helmkit::number_or(k_section, "size", 0, "s"), 2.5);
    EXPECT_DOUBLE_EQ(helmkit::number_or(k_section, "absent", 7, "s"), 7);
    EXPECT_EQ(helmkit::text_or(k_section, "name", "", "s"), "x");
}

TEST(ConfigValue, WrongTypesNameTheKeyTheSectionAndTheValue) {
    EXPECT_EQ(error_of([] { helmkit::bool_or(k_section, "word", false, "the \"config\" section"); }),
              "'word' in the \"config\" section must be true or false, not \"yes\"");
    // A number is no truth value, not even 1.
    EXPECT_EQ(error_of([] { helmkit::bool_or(k_section, "one", false, "the \"config\" section"); }),
              "'one' in the \"config\" section must be true or false, not 1");
    EXPECT_EQ(error_of([] { helmkit::number_or(k_section, "on", 0, "here"); }),
              "'on' in here must be a number, not true");
}
