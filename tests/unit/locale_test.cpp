// LanguageCode() read from the platform, in a process whose system locale CTest sets.
#include "pages/language.h"

#include <gtest/gtest.h>

#include <cstdlib>

TEST(LanguagePlatform, CodeFollowsTheSystemLocale)
{
    const char* expected = std::getenv("UIEXT2_EXPECTED_LANGUAGE_CODE");
    ASSERT_NE(nullptr, expected) << "run through CTest, which sets the locale and the expected code";
    EXPECT_EQ(std::atoi(expected), uiext2::LanguageCode());
    // Computed afresh each time, with no state between calls.
    EXPECT_EQ(uiext2::LanguageCode(), uiext2::LanguageCode());
}
