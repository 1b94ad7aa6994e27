// Merges arbitrary INI bytes (base, edited and current, separated by NUL bytes; current, the
// last, may hold any byte, a UTF-16 file too): no access outside the inputs, no change or an
// unsure one leaves the current file byte for byte, merging the same changes again changes
// nothing more, and a key written is read back as written.
#include "device/profile_merge.h"
#include "../logic/double_byte_code_page.h"
#include "fuzz_check.h"

#include <string>
#include <string_view>

namespace
{

bool EvenLead(unsigned char byte)
{
    return byte >= 0x81 && byte % 2 == 0;
}
const uiext2_test::DoubleByteCodePage kEvenLead(EvenLead);

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
