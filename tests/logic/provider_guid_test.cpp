// The provider GUID derived from a name, against the platform's documented example.
#include "provider_guid.h"
#include "trace/provider_identity.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace
{

// The bytes as a GUID lies in memory, shown as its registry form shows it.
std::string GuidText(const std::array<std::uint8_t, 16>& b)
{
    char text[40];
    std::snprintf(text, sizeof(text), "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[3],
                  b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    return text;
}

TEST(ProviderGuid, IsTheNameBasedGuidThePlatformDerives)
{
    const struct
    {
        const char* name;
        const char* expected;
    } cases[] = {
        // The example of the platform's documentation of TRACELOGGING_DEFINE_PROVIDER.
        {"MyCompany.MyComponent", "ce5fa4ea-ab00-5402-8b76-9f76ac858fb5"},
        {"mycompany.MYCOMPONENT", "ce5fa4ea-ab00-5402-8b76-9f76ac858fb5"}, // letter case does not count
        // This extension's provider, computed apart from this code (Python's hashlib).
        {"Velmora.WiaScanner.UiExtension", "92255bcb-e131-5edd-4393-39ade36abe08"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, GuidText(uiext2::ProviderGuidBytes(c.name))) << c.name;
}

// The GUID the DLL registers is a constant: it must be the one derived from its name, or
// trace programs given the name listen to another provider.
TEST(ProviderGuid, TheExtensionsConstantIsItsNamesGuid)
{
    const auto& p = uiext2::trace::kExtensionProvider;
    const std::array<std::uint8_t, 16> constant = {static_cast<std::uint8_t>(p.data1),
                                                   static_cast<std::uint8_t>(p.data1 >> 8),
                                                   static_cast<std::uint8_t>(p.data1 >> 16),
                                                   static_cast<std::uint8_t>(p.data1 >> 24),
                                                   static_cast<std::uint8_t>(p.data2),
                                                   static_cast<std::uint8_t>(p.data2 >> 8),
                                                   static_cast<std::uint8_t>(p.data3),
                                                   static_cast<std::uint8_t>(p.data3 >> 8),
                                                   p.data4[0],
                                                   p.data4[1],
                                                   p.data4[2],
                                                   p.data4[3],
                                                   p.data4[4],
                                                   p.data4[5],
                                                   p.data4[6],
                                                   p.data4[7]};
    EXPECT_EQ(GuidText(uiext2::ProviderGuidBytes(p.name)), GuidText(constant));
}

} // namespace
