// What follows the system locale, read from the platform in a process whose system locale
// CTest sets: the language code, and how device names are read in the ANSI code page.
#include "device/device_store.h"
#include "device/path_rules.h"
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

TEST(DeviceNamePlatform, TrailBytesFollowTheSystemCodePage)
{
    // "ソ" in code page 932 is 0x83 0x5C: one character there, "ƒ\" in code page 1252.
    const char* katakanaSo = "\x83\x5C";
    const UINT codePage = ::GetACP();
    ASSERT_TRUE(codePage == 932 || codePage == 936 || codePage == 950 || codePage == 1252) << codePage;
    // In the Chinese code pages 0x83 is a lead byte too.
    EXPECT_EQ(codePage != 1252, uiext2::IsSafeFolderName(katakanaSo, uiext2::IsSystemLeadByte));
    EXPECT_TRUE(uiext2::IsSafeFolderName("VT-3000", uiext2::IsSystemLeadByte));
    EXPECT_FALSE(uiext2::IsSafeFolderName("a\\b", uiext2::IsSystemLeadByte));
}
