// Encodes arbitrary bytes and decodes the text back, plain and broken into lines.
#include "crypto/base64_coder.h"
#include "fuzz_check.h"

#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto n = static_cast<uint32_t>(size);
    uiext2::Base64Coder coder;
    coder.EncodeBytes(data, n);
    const std::string text = coder.TextData();
    const uint32_t groups = (n + 2) / 3;
    FUZZ_CHECK(text.size() == groups * 4);

    // Alphabet characters only, then as many pads as the last group lacks bytes.
    const size_t pads = (3 - n % 3) % 3;
    for (size_t i = 0; i < text.size(); ++i)
    {
        if (i >= text.size() - pads)
            FUZZ_CHECK(text[i] == '=');
        else
            FUZZ_CHECK(std::strchr(uiext2::Base64Alphabet, text[i]) != nullptr && text[i] != '\0');
    }

    // Decoding counts three bytes per group: the data, then a zero byte per pad.
    coder.DecodeString(text.c_str());
    uint8_t* raw = nullptr;
    FUZZ_CHECK(coder.GetRaw(&raw) == groups * 3);
    FUZZ_CHECK(n == 0 || std::memcmp(raw, data, n) == 0);
    for (uint32_t i = n; i < groups * 3; ++i)
        FUZZ_CHECK(raw[i] == 0);

    // Line breaks and blanks anywhere decode as if absent.
    std::string broken;
    for (size_t i = 0; i < text.size(); ++i)
    {
        if (i % 76 == 0)
            broken += "\r\n";
        if (size > 0 && i % 7 == data[0] % 7)
            broken += ' ';
        broken += text[i];
    }
    broken += " \t\n";
    uiext2::Base64Coder other;
    other.DecodeString(broken.c_str());
    uint8_t* again = nullptr;
    FUZZ_CHECK(other.GetRaw(&again) == groups * 3);
    FUZZ_CHECK(groups == 0 || std::memcmp(again, raw, groups * 3) == 0);

    // Encoding the text again with the same, reused coder gives the same text.
    coder.EncodeBytes(data, n);
    FUZZ_CHECK(text == coder.TextData());
    return 0;
}
