// Lines, sections and keys of a settings file, as one profile reader finds them.
#include "device/profile_parse.h"

namespace uiext2::profile
{

namespace
{

std::u16string_view CutAtNul(std::u16string_view text) noexcept
{
    return text.substr(0, text.find(u'\0'));
}

// The section name of a header line (trimmed, starting with '['), or false for a line that
// is no header to this reader.
bool HeaderName(std::u16string_view trimmed, Reading reading, std::u16string_view& name) noexcept
{
    if (trimmed.empty() || trimmed.front() != u'[')
        return false;
    const std::u16string_view inside = trimmed.substr(1);
    const std::size_t close = reading == Reading::Marked ? inside.rfind(u']') : inside.find(u']');
    if (close == std::u16string_view::npos && reading == Reading::Marked)
        return false;
    name = CutAtNul(Trim(inside.substr(0, close)));
    return true;
}

} // namespace

bool IsBlank(char16_t c) noexcept
{
    return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f' || c == 0x1A;
}

std::u16string_view Trim(std::u16string_view text) noexcept
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::u16string Fold(std::u16string_view name)
{
    std::u16string folded(name);
    for (char16_t& c : folded)
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
    return folded;
}

// A section name never holds a line end: the separator keeps every id unique.
std::u16string KeyId(std::u16string_view section, std::u16string_view key)
{
    return Fold(section) + u'\n' + Fold(key);
}

void Parse(std::string_view bytes, Reading reading, const AnsiCodePage& codePage, Profile& profile)
{
    profile.text = Decode(bytes, reading, codePage);
    const std::u16string_view units = profile.text.units;
    std::map<std::u16string, int> first; // each name's first occurrence
    std::size_t start = 0;
    while (start < units.size())
    {
        Line line;
        line.begin = start;
        line.end = units.find_first_of(u"\r\n", start);
        if (line.end == std::u16string_view::npos)
            line.end = units.size();
        line.next = line.end;
        if (line.next < units.size())
            line.next += units.compare(line.next, 2, u"\r\n") == 0 ? 2 : 1;
        start = line.next;

        const std::u16string_view text = units.substr(line.begin, line.end - line.begin);
        const std::u16string_view trimmed = Trim(text);
        line.section = static_cast<int>(profile.sections.size()) - 1;
        std::u16string_view name;
        if (HeaderName(trimmed, reading, name))
        {
            line.kind = Kind::Section;
            line.name = name;
            line.section = static_cast<int>(profile.sections.size());
            profile.sections.push_back(Fold(name));
            profile.spellings.push_back(name);
        }
        else if (line.section >= 0 && !trimmed.empty() && trimmed.front() != u';')
        {
            line.kind = Kind::Key;
            const std::size_t equals = text.find(u'=');
            line.equals = equals != std::u16string_view::npos;
            line.name = CutAtNul(Trim(text.substr(0, equals)));
            line.nameEnd = line.begin + (line.equals ? equals : text.size());
            while (line.nameEnd > line.begin && IsBlank(units[line.nameEnd - 1]))
                --line.nameEnd;
            line.valueAt = line.equals ? line.begin + equals + 1 : line.end;
            while (line.valueAt < line.end && IsBlank(units[line.valueAt]))
                ++line.valueAt;
            line.value = CutAtNul(Trim(units.substr(line.valueAt, line.end - line.valueAt)));
            line.id = KeyId(profile.sections[static_cast<std::size_t>(line.section)], line.name);
            // Wine lists a key without a name but drops one that follows another; how Windows
            // lists them was never seen.
            profile.text.doubt = profile.text.doubt || line.name.empty();
        }
        if (line.section >= 0)
        {
            const std::u16string& section = profile.sections[static_cast<std::size_t>(line.section)];
            line.read = first.emplace(section, line.section).first->second == line.section;
        }
        profile.lines.push_back(std::move(line));
    }
}

KeyMap Keys(const Profile& profile)
{
    KeyMap keys;
    for (const Line& line : profile.lines)
        if (line.kind == Kind::Key && line.read)
            keys.emplace(line.id, line.equals ? std::optional<std::u16string>(line.value) : std::nullopt);
    return keys;
}

} // namespace uiext2::profile
