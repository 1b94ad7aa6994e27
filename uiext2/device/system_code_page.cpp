// The system's ANSI code page, for the INI model.
#include "device/system_code_page.h"

#include <windows.h>

namespace uiext2
{

namespace
{

class SystemAnsi final : public AnsiCodePage
{
public:
    bool IsLeadByte(unsigned char byte) const noexcept override { return ::IsDBCSLeadByte(byte) != FALSE; }

    void ToWide(std::string_view ansi, std::u16string& wide) const override
    {
        const int length = static_cast<int>(ansi.size());
        const int size = length ? ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, nullptr, 0) : 0;
        if (size <= 0)
            return;
        const std::size_t at = wide.size();
        wide.resize(at + static_cast<std::size_t>(size));
        ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, reinterpret_cast<wchar_t*>(&wide[at]), size);
    }

    void ToAnsi(std::u16string_view wide, std::string& ansi) const override
    {
        const int length = static_cast<int>(wide.size());
        const auto* text = reinterpret_cast<const wchar_t*>(wide.data());
        const int size = length ? ::WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr) : 0;
        if (size <= 0)
            return;
        const std::size_t at = ansi.size();
        ansi.resize(at + static_cast<std::size_t>(size));
        ::WideCharToMultiByte(CP_ACP, 0, text, length, &ansi[at], size, nullptr, nullptr);
    }
};

} // namespace

const AnsiCodePage& SystemCodePage() noexcept
{
    static const SystemAnsi system;
    return system;
}

} // namespace uiext2
