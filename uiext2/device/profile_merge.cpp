// Key-by-key merge of INI files, as the private-profile functions read them.
#include "device/profile_merge.h"

#include <map>
#include <set>
#include <vector>

namespace uiext2
{

namespace
{

enum class Kind
{
    Other, // blank, comment, text before the first section, or neither a section nor a key
    Section,
    Key,
};

struct Line
{
    std::string_view text; // without its line end
    std::string_view eol;  // "\r\n", "\n", or "" for a last line without one
    Kind kind = Kind::Other;
    std::string_view name;   // the section's or the key's, trimmed
    std::string_view value;  // a key's, trimmed
    std::size_t valueAt = 0; // where a key's value starts in `text`, blanks after '=' skipped
    int section = -1;        // the section occurrence the line belongs to (its header's too)
    bool read = false;       // in the first occurrence of its section's name: where readers look
    std::string id;          // a key's section and name without letter case
};

bool IsBlank(char c) noexcept
{
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view Trim(std::string_view text) noexcept
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// ASCII letters folded; a double-byte character stays as it is, trail byte included.
std::string Fold(std::string_view name, LeadByteTest isLeadByte)
{
    std::string folded(name);
    for (std::size_t i = 0; i < folded.size(); ++i)
    {
        const auto byte = static_cast<unsigned char>(folded[i]);
        if (isLeadByte && isLeadByte(byte))
            ++i;
        else if (byte >= 'A' && byte <= 'Z')
            folded[i] = static_cast<char>(byte - 'A' + 'a');
    }
    return folded;
}

// A section name cannot hold a line end: the separator keeps every id unique.
std::string KeyId(const std::string& section, std::string_view key, LeadByteTest isLeadByte)
{
    return section + '\n' + Fold(key, isLeadByte);
}

struct Profile
{
    std::vector<Line> lines;
    std::vector<std::string> sections;       // each occurrence's name without letter case
    std::vector<std::string_view> spellings; // and as written
    std::map<std::string, int> first;        // each name's first occurrence
};

Profile Parse(std::string_view bytes, LeadByteTest isLeadByte)
{
    Profile profile;
    std::size_t start = 0;
    while (start < bytes.size())
    {
        Line line;
        const std::size_t newline = bytes.find('\n', start);
        const std::size_t end = newline == std::string_view::npos ? bytes.size() : newline;
        const bool crlf = newline != std::string_view::npos && end > start && bytes[end - 1] == '\r';
        line.text = bytes.substr(start, end - start - (crlf ? 1 : 0));
        line.eol = bytes.substr(end - (crlf ? 1 : 0), newline == std::string_view::npos ? 0 : (crlf ? 2 : 1));
        start = newline == std::string_view::npos ? bytes.size() : newline + 1;

        const std::string_view trimmed = Trim(line.text);
        line.section = static_cast<int>(profile.sections.size()) - 1;
        const std::size_t close = trimmed.find(']');
        const std::size_t equals = line.text.find('=');
        if (!trimmed.empty() && trimmed.front() == '[' && close != std::string_view::npos)
        {
            line.kind = Kind::Section;
            line.name = Trim(trimmed.substr(1, close - 1));
            line.section = static_cast<int>(profile.sections.size());
            profile.sections.push_back(Fold(line.name, isLeadByte));
            profile.spellings.push_back(line.name);
        }
        else if (line.section >= 0 && !trimmed.empty() && trimmed.front() != ';' && equals != std::string_view::npos &&
                 !Trim(line.text.substr(0, equals)).empty())
        {
            line.kind = Kind::Key;
            line.name = Trim(line.text.substr(0, equals));
            line.valueAt = equals + 1;
            while (line.valueAt < line.text.size() && IsBlank(line.text[line.valueAt]))
                ++line.valueAt;
            line.value = Trim(line.text.substr(line.valueAt));
            line.id = KeyId(profile.sections[static_cast<std::size_t>(line.section)], line.name, isLeadByte);
        }
        if (line.section >= 0)
        {
            const std::string& name = profile.sections[static_cast<std::size_t>(line.section)];
            line.read = profile.first.emplace(name, line.section).first->second == line.section;
        }
        profile.lines.push_back(std::move(line));
    }
    return profile;
}

// Each key as a reader finds it: its first occurrence in the first section of its name. The
// platform's readers (and the companion) never look past that section.
std::map<std::string, const Line*> Keys(const Profile& profile)
{
    std::map<std::string, const Line*> keys;
    for (const Line& line : profile.lines)
        if (line.kind == Kind::Key && line.read)
            keys.emplace(line.id, &line);
    return keys;
}

class Output
{
public:
    Output(std::string& out, std::string_view eol) : out_(out), eol_(eol) {}

    void Add(std::string_view text, std::string_view eol)
    {
        if (open_)
            out_ += eol_; // the line before was the last one, without a line end
        out_ += text;
        out_ += eol;
        open_ = eol.empty();
    }
    void AddNew(std::string_view text) { Add(text, eol_); }
    void AddKey(std::string_view key, std::string_view value)
    {
        std::string line(key);
        line += '=';
        line += value;
        AddNew(line);
    }

private:
    std::string& out_;
    std::string_view eol_;
    bool open_ = false;
};

// What one writer changed: keys set (in the order it wrote them), keys removed, sections
// removed whole.
struct Changes
{
    struct Set
    {
        std::string id;
        std::string section; // without letter case
        std::string sectionSpelling, key, value;
    };
    std::vector<Set> sets;
    std::set<std::string> removed;
    std::set<std::string> sectionsGone;
};

Changes Diff(std::string_view base, std::string_view edited, LeadByteTest isLeadByte)
{
    const Profile before = Parse(base, isLeadByte);
    const Profile after = Parse(edited, isLeadByte);
    const auto beforeKeys = Keys(before);
    const auto afterKeys = Keys(after);
    Changes changes;
    for (const Line& line : after.lines) // in `edited`'s order
    {
        if (line.kind != Kind::Key || !line.read || afterKeys.at(line.id) != &line)
            continue;
        const auto was = beforeKeys.find(line.id);
        if (was != beforeKeys.end() && was->second->value == line.value)
            continue;
        const auto section = static_cast<std::size_t>(line.section);
        changes.sets.push_back({line.id, after.sections[section], std::string(after.spellings[section]),
                                std::string(line.name), std::string(line.value)});
    }
    for (const auto& [id, line] : beforeKeys)
        if (afterKeys.find(id) == afterKeys.end())
            changes.removed.insert(id);
    const std::set<std::string> sectionsAfter(after.sections.begin(), after.sections.end());
    for (const std::string& section : before.sections)
        if (sectionsAfter.find(section) == sectionsAfter.end())
            changes.sectionsGone.insert(section);
    return changes;
}

// Puts `changes` into `current`: a set key's line in the first section of its name is
// rewritten (only when its value differs, so that its spacing stays), or the key is added
// after that section's last line that is not blank or a comment, or a new section is added
// at the end of the file; removed keys go from every occurrence of their section. The number
// of lines that changed, added or went.
std::size_t Apply(std::string_view current, const Changes& changes, std::string& merged, LeadByteTest isLeadByte)
{
    const Profile now = Parse(current, isLeadByte);

    std::map<std::string, std::size_t> nowKey; // where readers find each key now
    std::map<std::string, std::size_t> anchor; // where each section's first occurrence takes new keys
    for (std::size_t i = 0; i < now.lines.size(); ++i)
    {
        const Line& line = now.lines[i];
        if (line.section < 0 || !line.read)
            continue;
        if (line.kind == Kind::Key)
            nowKey.emplace(line.id, i);
        const std::string& section = now.sections[static_cast<std::size_t>(line.section)];
        const auto found = anchor.find(section);
        const std::string_view trimmed = Trim(line.text);
        if (found == anchor.end())
            anchor.emplace(section, i); // its header
        else if (!trimmed.empty() && trimmed.front() != ';')
            found->second = i;
    }

    std::size_t count = 0;
    std::map<std::size_t, std::string> rewritten;
    std::map<std::size_t, std::vector<const Changes::Set*>> added; // after that line of `now`
    std::vector<std::vector<const Changes::Set*>> newSections;     // in the order of the sets
    std::map<std::string, std::size_t> newSectionAt;
    for (const Changes::Set& set : changes.sets)
    {
        if (const auto at = nowKey.find(set.id); at != nowKey.end())
        {
            const Line& old = now.lines[at->second];
            if (old.value != set.value)
            {
                rewritten[at->second] = std::string(old.text.substr(0, old.valueAt)) + set.value;
                ++count;
            }
            continue;
        }
        ++count;
        if (const auto into = anchor.find(set.section); into != anchor.end())
            added[into->second].push_back(&set);
        else
        {
            const auto slot = newSectionAt.emplace(set.section, newSections.size()).first;
            if (slot->second == newSections.size())
                newSections.emplace_back();
            newSections[slot->second].push_back(&set);
        }
    }

    // An occurrence of a section that was removed whole goes when nothing of it stays.
    std::vector<bool> keeps(now.sections.size(), false);
    for (std::size_t i = 0; i < now.lines.size(); ++i)
    {
        const Line& line = now.lines[i];
        if (line.section < 0)
            continue;
        const bool content = line.kind == Kind::Key ? changes.removed.find(line.id) == changes.removed.end()
                                                    : line.kind == Kind::Other && !Trim(line.text).empty();
        if (content || added.count(i) != 0 ||
            changes.sectionsGone.find(now.sections[static_cast<std::size_t>(line.section)]) ==
                changes.sectionsGone.end())
            keeps[static_cast<std::size_t>(line.section)] = true;
    }

    std::string_view eol = "\r\n";
    for (const Line& line : now.lines)
        if (!line.eol.empty())
        {
            eol = line.eol;
            break;
        }
    merged.clear();
    merged.reserve(current.size() + 64);
    Output out(merged, eol);
    for (std::size_t i = 0; i < now.lines.size(); ++i)
    {
        const Line& line = now.lines[i];
        const bool dropped = (line.kind == Kind::Key && changes.removed.find(line.id) != changes.removed.end()) ||
                             (line.section >= 0 && !keeps[static_cast<std::size_t>(line.section)]);
        if (dropped)
            ++count;
        else
        {
            const auto text = rewritten.find(i);
            out.Add(text != rewritten.end() ? std::string_view(text->second) : line.text, line.eol);
        }
        if (const auto more = added.find(i); more != added.end())
            for (const Changes::Set* key : more->second)
                out.AddKey(key->key, key->value);
    }
    for (const auto& keys : newSections)
    {
        out.AddNew("[" + keys.front()->sectionSpelling + "]");
        for (const Changes::Set* key : keys)
            out.AddKey(key->key, key->value);
    }
    return count;
}

} // namespace

bool MergeProfileChanges(std::string_view base, std::string_view edited, std::string_view current, std::string& merged,
                         LeadByteTest isLeadByte, std::size_t* changed) noexcept
{
    try
    {
        const std::size_t count = Apply(current, Diff(base, edited, isLeadByte), merged, isLeadByte);
        if (changed)
            *changed = count;
        return true;
    }
    catch (...) // std::bad_alloc: nothing else is thrown here
    {
        return false;
    }
}

bool WriteProfileKeys(std::string_view current, const ProfileWrite* writes, std::size_t count, std::string& merged,
                      LeadByteTest isLeadByte) noexcept
{
    try
    {
        Changes changes;
        for (std::size_t i = 0; i < count; ++i)
        {
            const std::string section = Fold(Trim(writes[i].section), isLeadByte);
            const std::string_view key = Trim(writes[i].key);
            changes.sets.push_back({KeyId(section, key, isLeadByte), section, std::string(Trim(writes[i].section)),
                                    std::string(key), std::string(writes[i].value)});
        }
        Apply(current, changes, merged, isLeadByte);
        return true;
    }
    catch (...)
    {
        return false;
    }
}

bool ReadProfileValue(std::string_view bytes, std::string_view section, std::string_view key, std::string& value,
                      LeadByteTest isLeadByte) noexcept
{
    try
    {
        const Profile profile = Parse(bytes, isLeadByte);
        const std::string id = KeyId(Fold(Trim(section), isLeadByte), Trim(key), isLeadByte);
        for (const Line& line : profile.lines)
        {
            if (line.kind != Kind::Key || !line.read || line.id != id)
                continue;
            std::string_view text = line.value;
            // One pair of enclosing quotes is the platform's way of keeping blanks in a value.
            if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front())
                text = text.substr(1, text.size() - 2);
            value.assign(text);
            return true;
        }
        return false;
    }
    catch (...)
    {
        return false;
    }
}

bool IsBlankProfile(std::string_view bytes) noexcept
{
    for (const char c : bytes)
        if (!IsBlank(c) && c != '\n')
            return false;
    return true;
}

} // namespace uiext2
