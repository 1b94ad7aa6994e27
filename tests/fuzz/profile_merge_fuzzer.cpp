// Merges arbitrary INI bytes (base, edited and current, separated by NUL bytes): no access
// outside the inputs, no change leaves the current file byte for byte, and merging the same
// changes again changes nothing more.
#include "device/profile_merge.h"
#include "fuzz_check.h"

#include <string>
#include <string_view>

namespace
{

bool EvenLead(unsigned char byte)
{
    return byte >= 0x81 && byte % 2 == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string_view parts[3];
    for (int i = 0; i < 2; ++i)
    {
        const size_t end = input.find('\0');
        parts[i] = input.substr(0, end);
        input = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
    }
    parts[2] = input;
    const uiext2::LeadByteTest lead = size % 2 ? EvenLead : nullptr;

    std::string unchanged, merged, again;
    FUZZ_CHECK(uiext2::MergeProfileChanges(parts[0], parts[0], parts[2], unchanged, lead));
    FUZZ_CHECK(unchanged == parts[2]);
    FUZZ_CHECK(uiext2::MergeProfileChanges(parts[0], parts[1], parts[2], merged, lead));
    FUZZ_CHECK(uiext2::MergeProfileChanges(parts[0], parts[1], merged, again, lead));
    FUZZ_CHECK(again == merged);
    return 0;
}
