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
        profile.lines.push_back(std::move(line));
    }
    return profile;
}

// Each key's first occurrence, as a reader finds it.
std::map<std::string, const Line*> Keys(const Profile& profile)
{
    std::map<std::string, const Line*> keys;
    for (const Line& line : profile.lines)
        if (line.kind == Kind::Key)
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

std::size_t Merge(std::string_view base, std::string_view edited, std::string_view current, std::string& merged,
                  LeadByteTest isLeadByte)
{
    const Profile before = Parse(base, isLeadByte);
    const Profile after = Parse(edited, isLeadByte);
    const Profile now = Parse(current, isLeadByte);
    const auto beforeKeys = Keys(before);
    const auto afterKeys = Keys(after);

    // Where `now` already has a key, and where each section's first occurrence takes new keys:
    // after its last line that is not blank or a comment.
    std::map<std::string, std::size_t> nowKey;
    std::map<std::string, std::size_t> anchor;
    for (std::size_t i = 0; i < now.lines.size(); ++i)
    {
        const Line& line = now.lines[i];
        if (line.kind == Kind::Key)
            nowKey.emplace(line.id, i);
        if (line.section < 0)
            continue;
        const std::string& section = now.sections[static_cast<std::size_t>(line.section)];
        const auto found = anchor.find(section);
        const std::string_view trimmed = Trim(line.text);
        if (found == anchor.end())
            anchor.emplace(section, i); // the header of its first occurrence
        else if (now.lines[found->second].section == line.section && !trimmed.empty() && trimmed.front() != ';')
            found->second = i;
    }

    std::map<std::size_t, std::string> rewritten;
    std::map<std::size_t, std::vector<const Line*>> added; // after that line of `now`
    std::vector<std::vector<const Line*>> newSections;     // in `edited`'s order
    std::map<std::string, std::size_t> newSectionAt;
    std::size_t changed = 0;
    for (const Line& line : after.lines) // in `edited`'s order
    {
        if (line.kind != Kind::Key || afterKeys.at(line.id) != &line)
            continue;
        const auto was = beforeKeys.find(line.id);
        if (was != beforeKeys.end() && was->second->value == line.value)
            continue;
        ++changed;
        const std::string& section = after.sections[static_cast<std::size_t>(line.section)];
        if (const auto at = nowKey.find(line.id); at != nowKey.end())
        {
            const Line& old = now.lines[at->second];
            rewritten[at->second] = std::string(old.text.substr(0, old.valueAt)) + std::string(line.value);
        }
        else if (const auto into = anchor.find(section); into != anchor.end())
            added[into->second].push_back(&line);
        else
        {
            const auto slot = newSectionAt.emplace(section, newSections.size()).first;
            if (slot->second == newSections.size())
                newSections.emplace_back();
            newSections[slot->second].push_back(&line);
        }
    }

    std::set<std::string> removed;
    for (const auto& [id, line] : beforeKeys)
        if (afterKeys.find(id) == afterKeys.end())
            removed.insert(id);
    std::set<std::string> sectionsAfter(after.sections.begin(), after.sections.end());
    std::set<std::string> sectionsGone;
    for (const std::string& section : before.sections)
        if (sectionsAfter.find(section) == sectionsAfter.end())
            sectionsGone.insert(section);

    // An occurrence of a section that `edited` removed whole goes when nothing of it stays.
    std::vector<bool> keeps(now.sections.size(), false);
    for (std::size_t i = 0; i < now.lines.size(); ++i)
    {
        const Line& line = now.lines[i];
        if (line.section < 0)
            continue;
        const bool content = line.kind == Kind::Key ? removed.find(line.id) == removed.end()
                                                    : line.kind == Kind::Other && !Trim(line.text).empty();
        if (content || added.count(i) != 0 ||
            sectionsGone.find(now.sections[static_cast<std::size_t>(line.section)]) == sectionsGone.end())
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
    merged.reserve(current.size() + edited.size());
    Output out(merged, eol);
    for (std::size_t i = 0; i < now.lines.size(); ++i)
    {
        const Line& line = now.lines[i];
        const bool dropped = (line.kind == Kind::Key && removed.find(line.id) != removed.end()) ||
                             (line.section >= 0 && !keeps[static_cast<std::size_t>(line.section)]);
        if (!dropped)
        {
            const auto text = rewritten.find(i);
            out.Add(text != rewritten.end() ? std::string_view(text->second) : line.text, line.eol);
        }
        if (const auto more = added.find(i); more != added.end())
            for (const Line* key : more->second)
                out.AddKey(key->name, key->value);
    }
    for (const auto& keys : newSections)
    {
        out.AddNew("[" + std::string(after.spellings[static_cast<std::size_t>(keys.front()->section)]) + "]");
        for (const Line* key : keys)
            out.AddKey(key->name, key->value);
    }
    return changed + removed.size();
}

} // namespace

bool MergeProfileChanges(std::string_view base, std::string_view edited, std::string_view current, std::string& merged,
                         LeadByteTest isLeadByte, std::size_t* changedKeys) noexcept
{
    try
    {
        const std::size_t changed = Merge(base, edited, current, merged, isLeadByte);
        if (changedKeys)
            *changedKeys = changed;
        return true;
    }
    catch (...) // std::bad_alloc: nothing else is thrown here
    {
        return false;
    }
}

} // namespace uiext2
