// Base64 text coding (standard alphabet, "=" pads, no line breaks) over two growable buffers.
// Pure logic: no platform headers, so it builds natively for sanitizers and fuzzing.
#pragma once

#include <array>
#include <cstdint>

namespace uiext2
{

// Value 0 is 'A', 62 is '+', 63 is '/'.
inline constexpr char Base64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Entries of DecodeTable that are not a 6-bit value.
inline constexpr uint8_t DecodeOutside = 0xFE; // byte outside the alphabet
inline constexpr uint8_t DecodePad = 0xFF;     // "=" (and "=" with bit 7 set)

// The 6-bit value of each input byte. A byte with bit 7 set whose low seven bits are an
// alphabet character decodes like that character. Built at compile time, so there is no
// first-use race between threads.
constexpr std::array<uint8_t, 256> MakeDecodeTable() noexcept
{
    std::array<uint8_t, 256> table{};
    for (auto& entry : table)
        entry = DecodeOutside;
    for (uint8_t i = 0; i < 64; ++i)
    {
        const auto c = static_cast<uint8_t>(Base64Alphabet[i]);
        table[c] = i;
        table[c | 0x80u] = i;
    }
    table[0x3D] = DecodePad;
    table[0xBD] = DecodePad;
    return table;
}
inline constexpr std::array<uint8_t, 256> DecodeTable = MakeDecodeTable();

// The unit handed to the group operations.
struct Base64Group
{
    uint8_t values[4]; // encoding: up to three bytes, zeros beyond; decoding: four 6-bit values
    uint8_t count;     // encoding: how many of the three bytes are meaningful (1, 2 or 3)
};
static_assert(sizeof(Base64Group) == 5, "a group is four values and a count");

// Encodes bytes into `text` and decodes text into `raw`. Both arrays grow in 4096-byte steps,
// are zeroed by every reserve and are reused across calls. The whole-text operations go
// through the virtual group, bit and filter operations, so a derived coder that replaces one
// of those changes them.
//
// Allocation never throws. When a reserve cannot allocate, the array is gone, its capacity and
// length are 0, and the operation that asked for it produces nothing (an empty text, no raw
// bytes): RawData() is then null with GetRaw() answering 0, and TextData() is "".
class Base64Coder
{
public:
    Base64Coder() noexcept = default;
    virtual ~Base64Coder();
    Base64Coder(const Base64Coder&) = delete;
    Base64Coder& operator=(const Base64Coder&) = delete;

    // Nothing for a null string; otherwise EncodeBytes / DecodeBytes over its strlen.
    virtual void EncodeString(const char* string) noexcept;
    virtual void EncodeBytes(const uint8_t* bytes, uint32_t length) noexcept;
    virtual void DecodeString(const char* string) noexcept;
    // After a decode, rawLength counts three bytes per whole group of four characters, pad
    // places included: a caller that needs the exact length subtracts the pads. A trailing
    // one to three characters (never written by the encoder) add the bytes they fully carry:
    // 0, 1 or 2. Characters outside the alphabet are not rejected: the low six bits of their
    // table entry are used.
    virtual void DecodeBytes(const char* characters, uint32_t length) noexcept;

    // Stores `raw` in *out (when out is not null) and returns rawLength.
    virtual uint32_t GetRaw(uint8_t** out) noexcept;
    // The raw bytes; null while there is no raw array.
    virtual uint8_t* RawData() noexcept;
    // The text; "" while there is no text array. After an encode it is zero-terminated; after
    // a decode it holds the input's textLength non-whitespace characters, unterminated when
    // they fill the array.
    virtual const char* TextData() noexcept;

    // Grows the array to the next multiple of 4096 above n when it is smaller than n, then
    // zeroes the whole array and sets the length to 0. A reserve of 0 allocates nothing.
    virtual void ReserveText(uint32_t n) noexcept;
    virtual void ReserveRaw(uint32_t n) noexcept;
    // ReserveText(n), then the n characters without those IsWhitespace accepts.
    virtual void LoadText(const char* characters, uint32_t n) noexcept;
    // ReserveRaw(n), then a copy of the n bytes.
    virtual void LoadRaw(const uint8_t* bytes, uint32_t n) noexcept;

    // Four alphabet characters for group.count bytes, "=" in the places beyond them.
    virtual void EncodeGroup(const Base64Group& group, char out[4]) noexcept;
    // Three bytes from the group's four values.
    virtual void DecodeGroup(const Base64Group& group, uint8_t out[3]) noexcept;
    // Three bytes into four 6-bit values, and back (only the low six bits of each value count).
    virtual void SplitGroup(uint8_t values[4], const uint8_t bytes[3]) noexcept;
    virtual void JoinGroup(uint8_t bytes[3], const uint8_t values[4]) noexcept;
    // Nonzero for the bytes 7 to 13 and 32.
    virtual int32_t IsWhitespace(char c) noexcept;

protected:
    // Protected so that a derived coder can work on the buffers.
    uint8_t* raw = nullptr; // a copy of the input when encoding, the result when decoding
    char* text = nullptr;   // the result when encoding, the input without whitespace when decoding
    uint32_t rawCapacity = 0;
    uint32_t textCapacity = 0;
    uint32_t rawLength = 0;
    uint32_t textLength = 0;
};

} // namespace uiext2
