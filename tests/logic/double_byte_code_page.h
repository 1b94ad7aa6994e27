// A double-byte ANSI code page for tests of the INI model: a lead byte (by the rule given)
// and the byte after it are one character, other bytes above 0x7F one each; both ways exact.
#pragma once

#include "device/profile_merge.h"

#include <string>
#include <string_view>

namespace uiext2_test
{

class DoubleByteCodePage final : public uiext2::AnsiCodePage
{
public:
    explicit DoubleByteCodePage(bool (*isLead)(unsigned char)) noexcept : isLead_(isLead) {}

    bool IsLeadByte(unsigned char byte) const noexcept override { return isLead_(byte); }
    void ToWide(std::string_view ansi, std::u16string& wide) const override
    {
        for (std::size_t i = 0; i < ansi.size(); ++i)
        {
            const auto byte = static_cast<unsigned char>(ansi[i]);
            if (isLead_(byte) && i + 1 < ansi.size())
                wide += static_cast<char16_t>(0x4E00 + ((byte & 0x7F) << 8 | static_cast<unsigned char>(ansi[++i])));
            else
                wide += static_cast<char16_t>(byte < 0x80 ? byte : 0xFF00 + byte - 0x80);
        }
    }
    void ToAnsi(std::u16string_view wide, std::string& ansi) const override
    {
        for (const char16_t c : wide)
            if (c >= 0xFF00)
                ansi += static_cast<char>(c - 0xFF00 + 0x80);
            else if (c >= 0x4E00)
                ansi +=
                    std::string{static_cast<char>(((c - 0x4E00) >> 8) | 0x80), static_cast<char>((c - 0x4E00) & 0xFF)};
            else
                ansi += c < 0x80 ? static_cast<char>(c) : '?';
    }

private:
    bool (*isLead_)(unsigned char);
};

} // namespace uiext2_test
