// Base64 coder: buffers, whole-text operations and the group, bit and filter operations.
#include "crypto/base64_coder.h"

#include <cstring>
#include <new>

namespace uiext2
{

namespace
{

constexpr uint32_t GrowthStep = 4096;

// Frees *array and, when it is smaller than n, replaces it by a zeroed one of the next
// multiple of 4096 above n; otherwise zeroes the array it has. On a failed allocation
// (or a size beyond 32 bits) the array is gone and its capacity is 0.
template <typename T> void Reserve(T*& array, uint32_t& capacity, uint32_t n) noexcept
{
    if (capacity < n)
    {
        delete[] array;
        array = nullptr;
        capacity = 0;
        const uint64_t size = ((static_cast<uint64_t>(n) / GrowthStep) + 1) * GrowthStep;
        if (size <= UINT32_MAX)
        {
            array = new (std::nothrow) T[size];
            if (array)
                capacity = static_cast<uint32_t>(size);
        }
    }
    if (array)
        std::memset(array, 0, capacity);
}

} // namespace

static_assert(DecodeTable['A'] == 0 && DecodeTable['+'] == 62 && DecodeTable['/'] == 63);
static_assert(DecodeTable['A' | 0x80] == 0 && DecodeTable['='] == DecodePad && DecodeTable[0xBD] == DecodePad);
static_assert(DecodeTable['\n'] == DecodeOutside && DecodeTable[0x80] == DecodeOutside);

Base64Coder::~Base64Coder()
{
    delete[] raw;
    delete[] text;
}

void Base64Coder::EncodeString(const char* string) noexcept
{
    if (!string)
        return;
    Base64Coder::EncodeBytes(reinterpret_cast<const uint8_t*>(string), static_cast<uint32_t>(std::strlen(string)));
}

void Base64Coder::DecodeString(const char* string) noexcept
{
    if (!string)
        return;
    Base64Coder::DecodeBytes(string, static_cast<uint32_t>(std::strlen(string)));
}

void Base64Coder::EncodeBytes(const uint8_t* bytes, uint32_t length) noexcept
{
    LoadRaw(bytes, length);
    ReserveText(2 * length); // 32-bit, as stored: the room check below covers a wrap
    const uint32_t n = rawLength;
    // 4 * ceil(n / 3) characters and the terminator must fit; a failed reserve (or a derived
    // reserve that gave less) leaves an empty text.
    const uint64_t needed = (static_cast<uint64_t>(n) + 2) / 3 * 4 + 1;
    if (!raw || !text || needed > textCapacity)
    {
        textLength = 0;
        return;
    }

    uint32_t pos = 0;
    for (; n - pos >= 3; pos += 3)
    {
        const Base64Group group{{raw[pos], raw[pos + 1], raw[pos + 2], 0}, 3};
        EncodeGroup(group, text + textLength);
        textLength += 4;
    }
    if (pos < n)
    {
        Base64Group group{{raw[pos], 0, 0, 0}, static_cast<uint8_t>(n - pos)};
        if (n - pos == 2)
            group.values[1] = raw[pos + 1];
        EncodeGroup(group, text + textLength);
        textLength += 4;
    }
}

void Base64Coder::DecodeBytes(const char* characters, uint32_t length) noexcept
{
    LoadText(characters, length);
    ReserveRaw(length);
    // Three bytes per group of four characters, a partial group included, must fit.
    const uint64_t needed = (static_cast<uint64_t>(textLength) + 3) / 4 * 3;
    if (!raw || !text || needed > rawCapacity)
    {
        rawLength = 0;
        return;
    }

    const auto* in = reinterpret_cast<const uint8_t*>(text);
    uint32_t pos = 0;
    for (; textLength - pos >= 4; pos += 4)
    {
        Base64Group group{
            {DecodeTable[in[pos]], DecodeTable[in[pos + 1]], DecodeTable[in[pos + 2]], DecodeTable[in[pos + 3]]}, 0};
        // Pads count as zero bits in the last two places only.
        for (int i = 2; i < 4; ++i)
        {
            if (group.values[i] == DecodePad)
                group.values[i] = 0;
        }
        DecodeGroup(group, raw + rawLength);
        rawLength += 3;
    }
    const uint32_t tail = textLength - pos;
    if (tail > 0)
    {
        Base64Group group{{0, 0, 0, 0}, 0};
        for (uint32_t i = 0; i < tail; ++i)
        {
            const uint8_t value = DecodeTable[in[pos + i]];
            group.values[i] = value == DecodePad ? 0 : value;
        }
        DecodeGroup(group, raw + rawLength);
        rawLength += tail * 6 / 8; // the whole bytes the tail's characters carry
    }
}

uint32_t Base64Coder::GetRaw(uint8_t** out) noexcept
{
    if (out)
        *out = raw;
    return rawLength;
}

uint8_t* Base64Coder::RawData() noexcept
{
    return raw;
}

const char* Base64Coder::TextData() noexcept
{
    return text ? text : "";
}

void Base64Coder::ReserveText(uint32_t n) noexcept
{
    Reserve(text, textCapacity, n);
    textLength = 0;
}

void Base64Coder::ReserveRaw(uint32_t n) noexcept
{
    Reserve(raw, rawCapacity, n);
    rawLength = 0;
}

void Base64Coder::LoadText(const char* characters, uint32_t n) noexcept
{
    ReserveText(n);
    if (!text || n > textCapacity)
        return; // a reserve that left no room
    for (uint32_t i = 0; i < n; ++i)
    {
        if (!IsWhitespace(characters[i]))
            text[textLength++] = characters[i];
    }
}

void Base64Coder::LoadRaw(const uint8_t* bytes, uint32_t n) noexcept
{
    ReserveRaw(n);
    if (!raw || n > rawCapacity)
        return;
    if (n > 0)
        std::memcpy(raw, bytes, n);
    rawLength = n;
}

void Base64Coder::EncodeGroup(const Base64Group& group, char out[4]) noexcept
{
    uint8_t values[4];
    SplitGroup(values, group.values);
    for (int i = 0; i < 4; ++i)
        out[i] = Base64Alphabet[values[i] & 0x3F];
    if (group.count == 1)
        out[2] = '=';
    if (group.count == 1 || group.count == 2)
        out[3] = '=';
}

void Base64Coder::DecodeGroup(const Base64Group& group, uint8_t out[3]) noexcept
{
    uint8_t bytes[3];
    JoinGroup(bytes, group.values);
    out[0] = bytes[0];
    out[1] = bytes[1];
    out[2] = bytes[2];
}

void Base64Coder::SplitGroup(uint8_t values[4], const uint8_t bytes[3]) noexcept
{
    values[0] = static_cast<uint8_t>(bytes[0] >> 2);
    values[1] = static_cast<uint8_t>(((bytes[0] << 4) | (bytes[1] >> 4)) & 0x3F);
    values[2] = static_cast<uint8_t>(((bytes[1] << 2) | (bytes[2] >> 6)) & 0x3F);
    values[3] = static_cast<uint8_t>(bytes[2] & 0x3F);
}

void Base64Coder::JoinGroup(uint8_t bytes[3], const uint8_t values[4]) noexcept
{
    bytes[0] = static_cast<uint8_t>((values[0] << 2) | ((values[1] >> 4) & 0x03));
    bytes[1] = static_cast<uint8_t>((values[1] << 4) | ((values[2] >> 2) & 0x0F));
    bytes[2] = static_cast<uint8_t>((values[2] << 6) | (values[3] & 0x3F));
}

int32_t Base64Coder::IsWhitespace(char c) noexcept
{
    const auto byte = static_cast<unsigned char>(c);
    return (byte >= 7 && byte <= 13) || byte == 32;
}

} // namespace uiext2
