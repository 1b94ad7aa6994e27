// Settings files read as GetPrivateProfileStringA and its listing functions read them.
#include "device/profile_merge.h"

#include "device/profile_parse.h"

namespace uiext2
{

namespace
{

using namespace profile;

const AnsiCodePage& Or(const AnsiCodePage* codePage) noexcept
{
    return codePage ? *codePage : Latin1();
}

std::vector<ProfileSection> Listed(const Profile& profile, const AnsiCodePage& codePage)
{
    std::vector<ProfileSection> sections;
    std::vector<std::size_t> firsts; // where each listed section's entries are
    std::map<std::u16string, std::size_t> first;
    int listed = -1; // the occurrence sections.back() is
    for (const Line& line : profile.lines)
    {
        if (line.kind == Kind::Section && !line.name.empty())
        {
            ProfileSection section;
            codePage.ToAnsi(line.name, section.name);
            sections.push_back(std::move(section));
            firsts.push_back(
                first.emplace(profile.sections[static_cast<std::size_t>(line.section)], sections.size() - 1)
                    .first->second);
            listed = line.section;
        }
        else if (line.kind == Kind::Key && line.read && line.section == listed)
        {
            std::u16string entry(line.name);
            if (line.equals)
                entry += u'=' + std::u16string(line.value);
            std::string& out = sections.back().entries.emplace_back();
            codePage.ToAnsi(entry, out);
        }
    }
    for (std::size_t i = 0; i < sections.size(); ++i) // a later section of a name lists the first one's entries
        if (firsts[i] != i)
            sections[i].entries = sections[firsts[i]].entries;
    return sections;
}

} // namespace

bool ReadProfileValue(std::string_view bytes, std::string_view section, std::string_view key, std::string& value,
                      const AnsiCodePage* codePage) noexcept
{
    try
    {
        Profile profile;
        Parse(bytes, Reading::Marked, Or(codePage), profile);
        const std::u16string id = KeyId(Trim(Widen(section, Or(codePage))), Trim(Widen(key, Or(codePage))));
        for (const Line& line : profile.lines)
        {
            if (line.kind != Kind::Key || !line.read || line.id != id)
                continue;
            if (!line.equals)
                return false; // the first line of that name has no value, and readers stop there
            std::u16string_view text = line.value;
            // One pair of enclosing quotes is the platform's way of keeping blanks in a value.
            if (text.size() >= 2 && (text.front() == u'"' || text.front() == u'\'') && text.back() == text.front())
                text = text.substr(1, text.size() - 2);
            value.clear();
            Or(codePage).ToAnsi(text, value);
            return true;
        }
        return false;
    }
    catch (...)
    {
        return false;
    }
}

bool ListProfile(std::string_view bytes, std::vector<ProfileSection>& sections, bool& sure,
                 const AnsiCodePage* codePage) noexcept
{
    try
    {
        Profile marked, windows;
        Parse(bytes, Reading::Marked, Or(codePage), marked);
        Parse(bytes, Reading::Windows, Or(codePage), windows);
        sections = Listed(marked, Or(codePage));
        const std::vector<ProfileSection> other = Listed(windows, Or(codePage));
        sure = !marked.text.doubt && !windows.text.doubt && other.size() == sections.size();
        for (std::size_t i = 0; sure && i < other.size(); ++i)
            sure = other[i].name == sections[i].name && other[i].entries == sections[i].entries;
        return true;
    }
    catch (...)
    {
        return false;
    }
}

bool IsBlankProfile(std::string_view bytes) noexcept
{
    try
    {
        for (const char16_t c : Decode(bytes, Reading::Marked, Latin1()).units)
            if (!IsBlank(c) && c != u'\r' && c != u'\n')
                return false;
        return true;
    }
    catch (...)
    {
        return false;
    }
}

} // namespace uiext2
