// Merges arbitrary INI bytes (base, edited and current, separated by NUL bytes; current, the
// last, may hold any byte, a UTF-16 file too): no access outside the inputs, no change or an
// unsure one leaves the current file byte for byte, merging the same changes again changes
// nothing more, and a key written is read back as written.
#include "device/profile_merge.h"
#include "fuzz_check.h"

#include <string>
#include <string_view>

namespace
{

// A double-byte code page: an even byte from 0x81 leads, the pair is one character.
class EvenLead final : public uiext2::AnsiCodePage
{
public:
    bool IsLeadByte(unsigned char byte) const noexcept override { return byte >= 0x81 && byte % 2 == 0; }
    void ToWide(std::string_view ansi, std::u16string& wide) const override
    {
        for (std::size_t i = 0; i < ansi.size(); ++i)
        {
            const auto byte = static_cast<unsigned char>(ansi[i]);
            if (IsLeadByte(byte) && i + 1 < ansi.size())
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
};
const EvenLead kEvenLead;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using uiext2::ProfileUpdate;
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string_view parts[3];
    for (int i = 0; i < 2; ++i)
    {
        const size_t end = input.find('\0');
        parts[i] = input.substr(0, end);
        input = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
    }
    parts[2] = input;
    const uiext2::AnsiCodePage* codePage = size % 2 ? &kEvenLead : nullptr;

    std::string unchanged, merged, again;
    FUZZ_CHECK(uiext2::MergeProfileChanges(parts[0], parts[0], parts[2], unchanged, codePage) !=
               ProfileUpdate::OutOfMemory);
    FUZZ_CHECK(unchanged == parts[2]);
    const ProfileUpdate update = uiext2::MergeProfileChanges(parts[0], parts[1], parts[2], merged, codePage);
    FUZZ_CHECK(update != ProfileUpdate::OutOfMemory);
    FUZZ_CHECK(update == ProfileUpdate::Written || merged == parts[2]);
    if (update == ProfileUpdate::Written)
    {
        FUZZ_CHECK(uiext2::MergeProfileChanges(parts[0], parts[1], merged, again, codePage) == ProfileUpdate::Written);
        FUZZ_CHECK(again == merged);
    }

    const uiext2::ProfileWrite write{"Contents", "ScannerAddress", "10.0.0.7"};
    std::string written, value;
    const ProfileUpdate put = uiext2::WriteProfileKeys(parts[2], &write, 1, written, codePage);
    FUZZ_CHECK(put != ProfileUpdate::OutOfMemory);
    FUZZ_CHECK(put == ProfileUpdate::Written
                   ? uiext2::ReadProfileValue(written, "contents", "scanneraddress", value, codePage) &&
                         value == "10.0.0.7"
                   : written == parts[2]);
    return 0;
}
