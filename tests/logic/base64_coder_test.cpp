// The base64 coder: known answers both ways, whitespace and bit 7, buffer growth, and the
// whole-text operations going through the replaceable group and filter operations.
#include "crypto/base64_coder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{

using uiext2::Base64Coder;
using uiext2::Base64Group;

// Exposes the coder's fields to the tests.
class Probe : public Base64Coder
{
public:
    uint8_t* Raw() const { return raw; }
    const char* Text() const { return text; }
    uint32_t RawCapacity() const { return rawCapacity; }
    uint32_t TextCapacity() const { return textCapacity; }
    uint32_t RawLength() const { return rawLength; }
    uint32_t TextLength() const { return textLength; }

    std::string Decoded(const std::string& in)
    {
        DecodeBytes(in.data(), static_cast<uint32_t>(in.size()));
        return std::string(reinterpret_cast<const char*>(raw), rawLength);
    }
    std::string Encoded(const std::string& in)
    {
        EncodeBytes(reinterpret_cast<const uint8_t*>(in.data()), static_cast<uint32_t>(in.size()));
        return TextData();
    }
};

struct Vector
{
    const char* data;
    const char* text;
};

// RFC 4648, section 10.
const Vector kRfc4648[] = {
    {"", ""},
    {"f", "Zg=="},
    {"fo", "Zm8="},
    {"foo", "Zm9v"},
    {"foob", "Zm9vYg=="},
    {"fooba", "Zm9vYmE="},
    {"foobar", "Zm9vYmFy"},
};

size_t Pads(const char* text)
{
    const size_t n = std::strlen(text);
    return (n > 0 && text[n - 1] == '=') + (n > 1 && text[n - 2] == '=');
}

TEST(Base64Coder, EncodesRfc4648Vectors)
{
    for (const Vector& v : kRfc4648)
    {
        Probe coder;
        EXPECT_EQ(v.text, coder.Encoded(v.data)) << v.data;
        EXPECT_EQ(std::strlen(v.text), coder.TextLength());
        if (coder.Text())
        {
            EXPECT_EQ('\0', coder.Text()[coder.TextLength()]);
        }
    }
}

TEST(Base64Coder, DecodesRfc4648VectorsCountingPadPlaces)
{
    for (const Vector& v : kRfc4648)
    {
        Probe coder;
        const std::string raw = coder.Decoded(v.text);
        const size_t n = std::strlen(v.data);
        // Three bytes per group, pads included: the caller subtracts the pads.
        ASSERT_EQ(std::strlen(v.text) / 4 * 3, raw.size()) << v.text;
        EXPECT_EQ(n, raw.size() - Pads(v.text));
        EXPECT_EQ(v.data, raw.substr(0, n));
        // The pad places decode to zero bytes.
        EXPECT_EQ(std::string(raw.size() - n, '\0'), raw.substr(n));
    }
}

// Whitespace (bytes 7 to 13 and 32) is dropped anywhere before grouping; nothing else is.
TEST(Base64Coder, DropsWhitespaceBeforeGrouping)
{
    const char* kSame[] = {
        "Zm9v\r\nYmFy", "  Zm9vYmFy  ", "Z m 9 v Y m F y",  "\tZm9v\vYmFy\f",
        "Zm\a9v\bYmFy", "Zm9vYmFy\n",   "\r\n\r\nZm9vYmFy",
    };
    for (const char* text : kSame)
    {
        Probe coder;
        EXPECT_EQ("foobar", coder.Decoded(text)) << text;
        EXPECT_EQ(8u, coder.TextLength()) << text;
    }

    const std::string kKept[] = {std::string("Zm9v\x01YmFy"), std::string("Zm9v\x0EYmFy"), std::string("Zm9v\x1FYmFy"),
                                 std::string("Zm9v\x06YmFy"), std::string("Zm9v\x7FYmFy"), std::string("Zm9v\xA0YmFy")};
    for (const std::string& text : kKept)
    {
        Probe coder;
        EXPECT_NE("foobar", coder.Decoded(text)) << static_cast<int>(static_cast<uint8_t>(text[4]));
        EXPECT_EQ(9u, coder.TextLength());
    }

    Probe filter;
    std::string accepted;
    for (int c = 0; c < 256; ++c)
    {
        if (filter.IsWhitespace(static_cast<char>(c)))
            accepted.push_back(static_cast<char>(c));
    }
    EXPECT_EQ(std::string("\a\b\t\n\v\f\r "), accepted);
}

TEST(Base64Coder, DecodesBit7CharactersLikeTheirLowSevenBits)
{
    const char* kTexts[] = {"Zm9vYmFy", "Zm9vYg==", "Zm9vYmE=", "+/+/", "AZaz09+/"};
    for (const char* plain : kTexts)
    {
        std::string high(plain);
        for (char& c : high)
            c = static_cast<char>(c | 0x80);
        Probe a;
        Probe b;
        EXPECT_EQ(a.Decoded(plain), b.Decoded(high)) << plain;
    }
}

// A trailing partial group (which the encoder never writes) adds the bytes it fully carries;
// text outside the alphabet is decoded, not rejected.
TEST(Base64Coder, DecodesPartialGroupsAndForeignCharacters)
{
    Probe coder;
    EXPECT_EQ("foob", coder.Decoded("Zm9vYg"));
    EXPECT_EQ("foo", coder.Decoded("Zm9vY"));
    EXPECT_EQ("fooba", coder.Decoded("Zm9vYmE"));
    EXPECT_EQ(std::string("f\0", 2), coder.Decoded("Zg=")); // a pad place counts, as in whole groups
    EXPECT_EQ("", coder.Decoded("="));
    EXPECT_EQ("", coder.Decoded(""));
    EXPECT_EQ(6u, coder.Decoded("Zm9v!!!!").size());
    EXPECT_EQ(3u, coder.Decoded("==Zm").size());
}

struct ReserveCase
{
    uint32_t first;
    uint32_t firstCapacity;
    uint32_t second;
    uint32_t secondCapacity;
};

TEST(Base64Coder, ReservesInSteps)
{
    const ReserveCase kCases[] = {
        {0, 0, 0, 0},          {4095, 4096, 0, 4096}, {4096, 8192, 8191, 8192},
        {1, 4096, 4096, 4096}, {1, 4096, 4097, 8192}, {8192, 12288, 1, 12288},
    };
    for (const ReserveCase& c : kCases)
    {
        Probe coder;
        coder.ReserveText(c.first);
        coder.ReserveRaw(c.first);
        EXPECT_EQ(c.firstCapacity, coder.TextCapacity()) << c.first;
        EXPECT_EQ(c.firstCapacity, coder.RawCapacity()) << c.first;
        EXPECT_EQ(c.firstCapacity == 0, coder.Text() == nullptr);
        EXPECT_EQ(c.firstCapacity == 0, coder.Raw() == nullptr);

        const char* before = coder.Text();
        if (before)
            std::memset(coder.Raw(), 0x5A, coder.RawCapacity());
        coder.ReserveText(c.second);
        coder.ReserveRaw(c.second);
        EXPECT_EQ(c.secondCapacity, coder.TextCapacity()) << c.second;
        EXPECT_EQ(c.secondCapacity, coder.RawCapacity()) << c.second;
        if (c.secondCapacity == c.firstCapacity)
        {
            EXPECT_EQ(before, coder.Text()); // kept, not reallocated
        }
        const std::vector<uint8_t> zeros(coder.RawCapacity(), 0);
        EXPECT_EQ(0, coder.RawCapacity() ? std::memcmp(zeros.data(), coder.Raw(), zeros.size()) : 0);
        EXPECT_EQ(0u, coder.RawLength());
        EXPECT_EQ(0u, coder.TextLength());
    }
}

TEST(Base64Coder, TextLengthIsFourPerStartedGroup)
{
    Probe coder; // reused: every encode starts afresh
    for (uint32_t n = 0; n <= 200; ++n)
    {
        const std::string data(n, static_cast<char>(0xC0 + n % 7));
        const std::string text = coder.Encoded(data);
        EXPECT_EQ((n + 2) / 3 * 4, coder.TextLength()) << n;
        EXPECT_EQ(coder.TextLength(), text.size()) << n;
        EXPECT_EQ(data, coder.Decoded(text).substr(0, n)) << n;
    }
}

TEST(Base64Coder, GrowsForLongInputs)
{
    std::string data(10000, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7 + i / 251);
    Probe coder;
    const std::string text = coder.Encoded(data);
    EXPECT_EQ(13336u, text.size());
    EXPECT_EQ(12288u, coder.RawCapacity());
    EXPECT_EQ(20480u, coder.TextCapacity()); // 2 x 10000 rounded up past the next step
    EXPECT_EQ(data + std::string(2, '\0'), coder.Decoded(text));

    // A text exactly as long as the array it is loaded into (4096 is not below 4096).
    Probe full;
    full.ReserveText(1);
    const std::string groups(4096, 'A');
    EXPECT_EQ(std::string(3072, '\0'), full.Decoded(groups));
    EXPECT_EQ(4096u, full.TextCapacity());
}

TEST(Base64Coder, NewCoderAndNullStrings)
{
    Probe coder;
    uint8_t* raw = reinterpret_cast<uint8_t*>(&coder);
    EXPECT_EQ(0u, coder.GetRaw(&raw));
    EXPECT_EQ(nullptr, raw);
    EXPECT_EQ(nullptr, coder.RawData());
    EXPECT_STREQ("", coder.TextData());

    coder.EncodeString("foob");
    const char* text = coder.TextData();
    coder.EncodeString(nullptr);
    coder.DecodeString(nullptr);
    EXPECT_EQ(text, coder.TextData());
    EXPECT_STREQ("Zm9vYg==", coder.TextData());
    EXPECT_EQ(4u, coder.RawLength());

    coder.DecodeString("Zm9vYmFy");
    EXPECT_EQ(6u, coder.GetRaw(&raw));
    EXPECT_EQ(0, std::memcmp("foobar", raw, 6));
}

// Counts the calls of the replaceable operations and treats '.' as whitespace too.
class Recorder : public Base64Coder
{
public:
    int encodeGroups = 0, decodeGroups = 0, splits = 0, joins = 0, reserves = 0, filtered = 0;

    void EncodeGroup(const Base64Group& group, char out[4]) noexcept override
    {
        ++encodeGroups;
        Base64Coder::EncodeGroup(group, out);
    }
    void DecodeGroup(const Base64Group& group, uint8_t out[3]) noexcept override
    {
        ++decodeGroups;
        Base64Coder::DecodeGroup(group, out);
    }
    void SplitGroup(uint8_t values[4], const uint8_t bytes[3]) noexcept override
    {
        ++splits;
        Base64Coder::SplitGroup(values, bytes);
    }
    void JoinGroup(uint8_t bytes[3], const uint8_t values[4]) noexcept override
    {
        ++joins;
        Base64Coder::JoinGroup(bytes, values);
    }
    void ReserveText(uint32_t n) noexcept override
    {
        ++reserves;
        Base64Coder::ReserveText(n);
    }
    int32_t IsWhitespace(char c) noexcept override
    {
        ++filtered;
        return c == '.' || Base64Coder::IsWhitespace(c);
    }
};

TEST(Base64Coder, WholeTextOperationsCallTheReplaceableOnes)
{
    Recorder coder;
    coder.EncodeString("fooba");
    EXPECT_STREQ("Zm9vYmE=", coder.TextData());
    EXPECT_EQ(2, coder.encodeGroups);
    EXPECT_EQ(2, coder.splits);
    EXPECT_EQ(1, coder.reserves);

    coder.DecodeString("Zm9v.YmFy.");
    uint8_t* raw = nullptr;
    ASSERT_EQ(6u, coder.GetRaw(&raw));
    EXPECT_EQ(0, std::memcmp("foobar", raw, 6));
    EXPECT_EQ(2, coder.decodeGroups);
    EXPECT_EQ(2, coder.joins);
    EXPECT_EQ(10, coder.filtered);
    EXPECT_EQ(2, coder.reserves);
}

// A reserve that leaves no array (as a failed allocation does) makes the operation produce
// nothing instead of writing through a missing array.
class Starved : public Base64Coder
{
public:
    explicit Starved(bool starveText) : starveText_(starveText) {}
    void ReserveText(uint32_t n) noexcept override
    {
        if (starveText_)
            textLength = 0;
        else
            Base64Coder::ReserveText(n);
    }
    void ReserveRaw(uint32_t n) noexcept override
    {
        if (starveText_)
            Base64Coder::ReserveRaw(n);
        else
            rawLength = 0;
    }

private:
    bool starveText_;
};

TEST(Base64Coder, MissingArraysYieldNothing)
{
    Starved noText(true);
    noText.EncodeString("foobar");
    EXPECT_STREQ("", noText.TextData());
    EXPECT_NE(nullptr, noText.RawData()); // the raw copy was made; no text was written
    noText.DecodeString("Zm9vYmFy");
    EXPECT_EQ(0u, noText.GetRaw(nullptr));

    Starved noRaw(false);
    noRaw.DecodeString("Zm9vYmFy");
    uint8_t* raw = reinterpret_cast<uint8_t*>(&noRaw);
    EXPECT_EQ(0u, noRaw.GetRaw(&raw));
    EXPECT_EQ(nullptr, raw);
    noRaw.EncodeString("foobar");
    EXPECT_STREQ("", noRaw.TextData());
}

} // namespace
