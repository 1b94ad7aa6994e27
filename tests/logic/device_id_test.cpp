// The device ID inside an item name: wcstok-style splitting at ':' with known answers.
#include "device/device_id.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

TEST(DeviceIdFromItemName, TakesTheOnlyTokenBetweenColons)
{
    struct Case
    {
        const wchar_t* name;
        const wchar_t* expected; // null: refused
    };
    const Case cases[] = {
        {L"{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0001", L"{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0001"},
        {L"id", L"id"},
        {L":id", L"id"},
        {L"id:", L"id"},
        {L"::id::", L"id"},
        {L"a b", L"a b"}, // only ':' separates
        {L"a;b\\c", L"a;b\\c"},
        {L"a:b", nullptr},
        {L"a::b", nullptr},
        {L":a:b:", nullptr},
        {L":::", nullptr},
        {L":", nullptr},
        {L"", nullptr},
        {nullptr, nullptr},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name ? std::string(c.name, c.name + std::char_traits<wchar_t>::length(c.name)) : "null");
        uiext2::WideSpan token;
        token.begin = L"unchanged";
        token.length = 9;
        const bool found = uiext2::DeviceIdFromItemName(c.name, token);
        EXPECT_EQ(c.expected != nullptr, found);
        const std::wstring expected = c.expected ? c.expected : L"unchanged"; // a refusal leaves it
        EXPECT_EQ(expected, std::wstring(token.begin, token.length));
    }
}

} // namespace
