// DefaultUnit from the user's regional settings, with the machine's value put back after.
#include "device/settings_store.h"

#include "user_measure.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

// Win.ini's [intl] section is mapped to this same registry key, on Windows as under Wine
// (IniFileMapping): "Win.ini" is only reached when the registry read itself fails, as it
// does for a value longer than the 260-byte buffer; the profile functions then read the
// value's leading digits.
TEST(DefaultUnit, FollowsTheUserMeasurementSystem)
{
    const std::string tooLongForTheBuffer1 = "1" + std::string(300, 'x');
    const std::string tooLongForTheBuffer2 = "2" + std::string(300, 'x');
    struct Case
    {
        const char* iMeasure; // nullptr: no value
        int expected;
    };
    const Case cases[] = {
        {"1", 1},
        {"0", 0},
        {"2abc", 2}, // atoi rules: leading digits, 0 without any
        {" 1", 1},
        {"abc", 0},
        {"", 0},
        {nullptr, 0}, // neither the registry nor Win.ini has one
        {tooLongForTheBuffer1.c_str(), 1},
        {tooLongForTheBuffer2.c_str(), 2},
        {"1", 1}, // and back: nothing is remembered between calls
    };

    uiext2_test::ScopedUserMeasure measure;
    ASSERT_TRUE(measure.ok());
    for (const Case& row : cases)
    {
        const std::string shown = row.iMeasure ? std::string(row.iMeasure).substr(0, 8) : "(none)";
        ASSERT_TRUE(measure.Set(row.iMeasure)) << shown;
        EXPECT_EQ(row.expected, uiext2::DefaultUnit()) << shown;
    }
}

} // namespace
