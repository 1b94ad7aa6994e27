// Decoding and encoding of a settings file's text, as the profile readers decode it.
#include "device/profile_text.h"

namespace uiext2::profile
{

namespace
{

class Latin1CodePage final : public AnsiCodePage
{
public:
    bool IsLeadByte(unsigned char) const noexcept override { return false; }
    void ToWide(std::string_view ansi, std::u16string& wide) const override
    {
        for (const char c : ansi)
            wide += static_cast<char16_t>(static_cast<unsigned char>(c));
    }
    void ToAnsi(std::u16string_view wide, std::string& ansi) const override
    {
        for (const char16_t c : wide)
            ansi += c < 0x100 ? static_cast<char>(c) : '?';
    }
};

bool Doubtful(char16_t c) noexcept
{
    switch (c)
    {
    case 0x0000:
    case 0x000C:
    case 0x001A:
    case 0x0085:
    case 0x0130: // upper case of 'i' to one reader, of nothing to the other
    case 0x0131:
    case 0x017F:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x212A:
    case 0x3000:
    case 0xFFFD: // stands for bytes that are not text
        return true;
    default:
        return c >= 0x2000 && c <= 0x200A;
    }
}

void Push(Text& text, char16_t unit, std::size_t at)
{
    text.units += unit;
    text.at.push_back(at);
}

// UTF-8 as MultiByteToWideChar decodes it; what is not UTF-8 becomes U+FFFD (a doubt).
void DecodeUtf8(std::string_view bytes, std::size_t i, Text& text)
{
    while (i < bytes.size())
    {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const std::size_t length = lead < 0x80                   ? 1
                                   : lead >= 0xC2 && lead < 0xE0 ? 2
                                   : lead >= 0xE0 && lead < 0xF0 ? 3
                                   : lead >= 0xF0 && lead < 0xF5 ? 4
                                                                 : 0;
        char32_t code = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
        bool valid = length != 0 && i + length <= bytes.size();
        for (std::size_t k = 1; valid && k < length; ++k)
        {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        valid = valid && !(length == 3 && (code < 0x800 || (code >= 0xD800 && code < 0xE000))) &&
                !(length == 4 && (code < 0x10000 || code > 0x10FFFF));
        if (!valid)
        {
            Push(text, 0xFFFD, i++);
            continue;
        }
        if (code >= 0x10000)
        {
            Push(text, static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)), i);
            Push(text, static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)), i);
        }
        else
            Push(text, static_cast<char16_t>(code), i);
        i += length;
    }
}

// The ANSI code page, one character at a time so that each keeps its bytes. ASCII is itself
// in every ANSI code page; a lead byte takes its trail byte (0x40 and above, never a line
// end), and a lead byte without one is a doubt: code pages differ on what it becomes.
void DecodeAnsi(std::string_view bytes, std::size_t i, const AnsiCodePage& codePage, Text& text)
{
    std::u16string wide;
    while (i < bytes.size())
    {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte < 0x80)
        {
            Push(text, byte, i++);
            continue;
        }
        std::size_t length = 1;
        if (codePage.IsLeadByte(byte))
        {
            if (i + 1 < bytes.size() && static_cast<unsigned char>(bytes[i + 1]) >= 0x40)
                length = 2;
            else
                text.doubt = true;
        }
        wide.clear();
        codePage.ToWide(bytes.substr(i, length), wide);
        if (wide.empty())
            wide.push_back(0xFFFD);
        for (const char16_t unit : wide)
            Push(text, unit, i);
        i += length;
    }
}

} // namespace

const AnsiCodePage& Latin1() noexcept
{
    static const Latin1CodePage latin1;
    return latin1;
}

std::u16string Widen(std::string_view ansi, const AnsiCodePage& codePage)
{
    std::u16string wide;
    codePage.ToWide(ansi, wide);
    return wide;
}

Text Decode(std::string_view bytes, Reading reading, const AnsiCodePage& codePage)
{
    Text text;
    const auto starts = [&](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
    std::size_t i = 0;
    if (starts("\xFF\xFE"))
        text.encoding = Encoding::Utf16Le, i = 2;
    else if (reading == Reading::Marked && starts("\xFE\xFF"))
        text.encoding = Encoding::Utf16Be, i = 2;
    else if (reading == Reading::Marked && starts("\xEF\xBB\xBF"))
        text.encoding = Encoding::Utf8, i = 3;
    text.units.reserve(bytes.size());
    text.at.reserve(bytes.size() + 1);
    switch (text.encoding)
    {
    case Encoding::Utf16Le:
    case Encoding::Utf16Be:
        text.doubt = (bytes.size() - i) % 2 != 0;
        for (; i + 1 < bytes.size(); i += 2)
        {
            const auto first = static_cast<unsigned char>(bytes[i]), second = static_cast<unsigned char>(bytes[i + 1]);
            Push(text,
                 static_cast<char16_t>(text.encoding == Encoding::Utf16Le ? first | second << 8 : second | first << 8),
                 i);
        }
        break;
    case Encoding::Utf8:
        DecodeUtf8(bytes, i, text);
        break;
    case Encoding::Ansi:
        DecodeAnsi(bytes, i, codePage, text);
        break;
    }
    text.at.push_back(bytes.size());
    for (const char16_t unit : text.units)
        text.doubt = text.doubt || Doubtful(unit);
    return text;
}

void Encode(std::u16string_view text, Encoding encoding, const AnsiCodePage& codePage, std::string& out)
{
    switch (encoding)
    {
    case Encoding::Ansi:
        codePage.ToAnsi(text, out);
        break;
    case Encoding::Utf16Le:
    case Encoding::Utf16Be:
        for (const char16_t unit : text)
        {
            const char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
            out += encoding == Encoding::Utf16Le ? low : high;
            out += encoding == Encoding::Utf16Le ? high : low;
        }
        break;
    case Encoding::Utf8:
        for (std::size_t i = 0; i < text.size(); ++i)
        {
            char32_t code = text[i];
            if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
                code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
            const int tail = code < 0x80 ? 0 : code < 0x800 ? 1 : code < 0x10000 ? 2 : 3;
            static constexpr unsigned char kLead[] = {0x00, 0xC0, 0xE0, 0xF0};
            out.push_back(static_cast<char>(kLead[tail] | (code >> (6 * tail))));
            for (int k = tail - 1; k >= 0; --k)
                out.push_back(static_cast<char>(0x80 | ((code >> (6 * k)) & 0x3F)));
        }
        break;
    }
}

} // namespace uiext2::profile
