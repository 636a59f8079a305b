#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "helmkit/base/child_process.hpp"
#include "helmkit/base/process_setup.hpp"

namespace {

std::tm local_time_of(std::time_t when) {
    std::tm parts{};
    ::localtime_r(&when, &parts);
    return parts;
}

}  // namespace

TEST(ProcessSetup, FixesTheSystemTimeZoneWithoutChangingLocalTimeOrWhatChildrenSee) {
    ::unsetenv("TZ");
    ::tzset();
    const std::time_t summer = 1782000000;  // June 2026
    const std::time_t winter = 1767000000;  // December 2025
    const auto summer_before = local_time_of(summer);
    const auto winter_before = local_time_of(winter);

    helmkit::setup_process();
    ASSERT_NE(std::getenv("TZ"), nullptr);
    const auto summer_after = local_time_of(summer);
    const auto winter_after = local_time_of(winter);
    EXPECT_EQ(summer_after.tm_hour, summer_before.tm_hour);
    EXPECT_EQ(summer_after.tm_gmtoff, summer_before.tm_gmtoff);
    EXPECT_EQ(winter_after.tm_hour, winter_before.tm_hour);
    EXPECT_EQ(winter_after.tm_gmtoff, winter_before.tm_gmtoff);

    // A started program finds TZ unset, as this process did.
    EXPECT_TRUE(helmkit::run_process({"sh", "-c", "test -z \"${TZ+set}\""}).succeeded());
    ::setenv("TORVANE_SETUP_CHECK", "kept", 1);
    EXPECT_TRUE(
        helmkit::run_process({"sh", "-c", "test \"$TORVANE_SETUP_CHECK\" = kept"}).succeeded());
}

TEST(ProcessSetup, LeavesATimeZoneTheUserChoseAsItIs) {
    ::setenv("TZ", "Asia/Tokyo", 1);
    helmkit::setup_process();
    EXPECT_STREQ(std::getenv("TZ"), "Asia/Tokyo");
    EXPECT_TRUE(helmkit::run_process({"sh", "-c", "test \"$TZ\" = Asia/Tokyo"}).succeeded());
}
