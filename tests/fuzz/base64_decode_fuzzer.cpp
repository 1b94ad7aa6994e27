// Decodes arbitrary bytes: no access outside the buffers, the length rule, and the same bytes
// with whitespace removed or bit 7 set on every other character.
#include "crypto/base64_coder.h"
#include "fuzz_check.h"

#include <cstring>
#include <string>

namespace
{

bool Whitespace(uint8_t c)
{
    return (c >= 7 && c <= 13) || c == 32;
}

std::string Decode(uiext2::Base64Coder& coder, const std::string& text)
{
    coder.DecodeBytes(text.data(), static_cast<uint32_t>(text.size()));
    uint8_t* raw = nullptr;
    const uint32_t length = coder.GetRaw(&raw);
    FUZZ_CHECK(length == 0 || raw != nullptr);
    return std::string(reinterpret_cast<const char*>(raw), length); // reads every byte counted
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::string stripped;
    std::string high;
    for (const char c : input)
    {
        const auto byte = static_cast<uint8_t>(c);
        if (!Whitespace(byte))
        {
            stripped.push_back(c);
            high.push_back(static_cast<char>(byte | 0x80));
        }
        else
        {
            high.push_back(c);
        }
    }

    uiext2::Base64Coder coder;
    const std::string raw = Decode(coder, input);
    // Three bytes per whole group of four kept characters, pads included; a tail of one to
    // three characters adds the bytes it carries.
    const size_t kept = stripped.size();
    FUZZ_CHECK(raw.size() == kept / 4 * 3 + (kept % 4) * 6 / 8);

    uiext2::Base64Coder fresh;
    FUZZ_CHECK(Decode(fresh, stripped) == raw);
    FUZZ_CHECK(Decode(fresh, high) == raw); // the same coder again, reused
    FUZZ_CHECK(Decode(coder, input) == raw);

    // The null string and the string form change nothing and agree with the byte form.
    coder.DecodeString(nullptr);
    FUZZ_CHECK(coder.GetRaw(nullptr) == raw.size());
    if (input.find('\0') == std::string::npos)
    {
        coder.DecodeString(input.c_str());
        FUZZ_CHECK(coder.GetRaw(nullptr) == raw.size());
    }
    return 0;
}
