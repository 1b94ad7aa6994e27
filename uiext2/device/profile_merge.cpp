// Key-by-key changes of INI files, as the private-profile functions read them, each checked
// against every reader before it is given out.
#include "device/profile_merge.h"

#include "device/profile_parse.h"

#include <set>

namespace uiext2
{

namespace
{

using namespace profile;

constexpr Reading kReadings[] = {Reading::Marked, Reading::Windows};

const AnsiCodePage& Or(const AnsiCodePage* codePage) noexcept
{
    return codePage ? *codePage : Latin1();
}

// New lines, in the file's encoding and with its line end.
class Output
{
public:
    Output(std::string& out, std::string_view current, const Profile& now, const AnsiCodePage& codePage)
        : out_(out), current_(current), now_(now), codePage_(codePage)
    {
        for (const Line& line : now.lines)
            if (line.next > line.end)
            {
                eol_ = std::u16string_view(now.text.units).substr(line.end, line.next - line.end);
                break;
            }
    }

    void Bytes(std::size_t from, std::size_t to) // units of `now`, as they were
    {
        Open();
        out_.append(current_, now_.text.at[from], now_.text.at[to] - now_.text.at[from]);
        open_ = to == now_.text.units.size() && !now_.lines.empty() && now_.lines.back().next == now_.lines.back().end;
    }
    void Text(std::u16string_view text) { Encode(text, now_.text.encoding, codePage_, out_); }
    void NewLine(std::u16string_view text)
    {
        Open();
        Text(text);
        Text(eol_);
    }
    void Key(std::u16string_view key, std::u16string_view value)
    {
        NewLine(std::u16string(key) + u'=' + std::u16string(value));
    }

private:
    void Open()
    {
        if (open_)
            Text(eol_); // the line before was the last one, without a line end
        open_ = false;
    }

    std::string& out_;
    std::string_view current_;
    const Profile& now_;
    const AnsiCodePage& codePage_;
    std::u16string_view eol_ = u"\r\n";
    bool open_ = false;
};

// What one writer changed: keys set (in the order it wrote them), keys removed, sections
// removed whole.
struct Changes
{
    struct Set
    {
        std::u16string id, section, sectionSpelling, key, value;
    };
    std::vector<Set> sets;
    std::set<std::u16string> removed;
    std::set<std::u16string> sectionsGone;

    // What a reader finds afterwards in a file whose keys were `keys`.
    KeyMap After(KeyMap keys) const
    {
        for (const Set& set : sets)
            keys[set.id] = set.value;
        for (const std::u16string& id : removed)
            keys.erase(id);
        return keys;
    }
};

Changes Diff(const Profile& before, const Profile& after)
{
    const KeyMap beforeKeys = Keys(before);
    const KeyMap afterKeys = Keys(after);
    Changes changes;
    std::set<std::u16string> seen;
    for (const Line& line : after.lines) // in `edited`'s order
    {
        if (line.kind != Kind::Key || !line.read || !seen.insert(line.id).second || !line.equals)
            continue;
        const auto was = beforeKeys.find(line.id);
        if (was != beforeKeys.end() && was->second == line.value)
            continue;
        const auto section = static_cast<std::size_t>(line.section);
        changes.sets.push_back({line.id, after.sections[section], std::u16string(after.spellings[section]),
                                std::u16string(line.name), std::u16string(line.value)});
    }
    for (const auto& [id, value] : beforeKeys) // gone, or now without a value: readers find none
        if (const auto now = afterKeys.find(id); value && (now == afterKeys.end() || !now->second))
            changes.removed.insert(id);
    const std::set<std::u16string> sectionsAfter(after.sections.begin(), after.sections.end());
    for (const std::u16string& section : before.sections)
        if (sectionsAfter.find(section) == sectionsAfter.end())
            changes.sectionsGone.insert(section);
    return changes;
}

bool operator==(const Changes& a, const Changes& b)
{
    const auto values = [](const Changes& changes)
    {
        std::map<std::u16string, std::u16string> set;
        for (const Changes::Set& one : changes.sets)
            set.emplace(one.id, one.value);
        return set;
    };
    return values(a) == values(b) && a.removed == b.removed;
}

// Puts `changes` into `now`: a set key's line in the first section of its name is rewritten
// (only when its value differs, so that its spacing stays), or the key is added after that
// section's last line that is not blank or a comment, or a new section is added at the end
// of the file; removed keys go from every occurrence of their section. The number of lines
// that changed, were added or went.
std::size_t Apply(std::string_view current, const Profile& now, const Changes& changes, std::string& merged,
                  const AnsiCodePage& codePage)
{
    std::map<std::u16string, std::size_t> nowKey; // where readers find each key now
    std::map<std::u16string, std::size_t> anchor; // where each section's first occurrence takes new keys
    for (std::size_t i = 0; i < now.lines.size(); ++i)
    {
        const Line& line = now.lines[i];
        if (line.section < 0 || !line.read)
            continue;
        if (line.kind == Kind::Key)
            nowKey.emplace(line.id, i);
        const std::u16string& section = now.sections[static_cast<std::size_t>(line.section)];
        const auto found = anchor.find(section);
        const std::u16string_view trimmed = Trim(TextOf(now, line));
        if (found == anchor.end())
            anchor.emplace(section, i); // its header
        else if (!trimmed.empty() && trimmed.front() != u';')
            found->second = i;
    }

    std::size_t count = 0;
    std::map<std::size_t, const Changes::Set*> rewritten;
    std::map<std::size_t, std::vector<const Changes::Set*>> added; // after that line of `now`
    std::vector<std::vector<const Changes::Set*>> newSections;     // in the order of the sets
    std::map<std::u16string, std::size_t> newSectionAt;
    for (const Changes::Set& set : changes.sets)
    {
        if (const auto at = nowKey.find(set.id); at != nowKey.end())
        {
            const Line& old = now.lines[at->second];
            if (!old.equals || old.value != set.value)
            {
                rewritten[at->second] = &set;
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
                                                    : line.kind == Kind::Other && !Trim(TextOf(now, line)).empty();
        if (content || added.count(i) != 0 ||
            changes.sectionsGone.find(now.sections[static_cast<std::size_t>(line.section)]) ==
                changes.sectionsGone.end())
            keeps[static_cast<std::size_t>(line.section)] = true;
    }

    merged.clear();
    merged.reserve(current.size() + 64);
    Output out(merged, current, now, codePage);
    merged.append(current.substr(0, now.text.at[0])); // a byte-order mark
    for (std::size_t i = 0; i < now.lines.size(); ++i)
    {
        const Line& line = now.lines[i];
        const bool dropped = (line.kind == Kind::Key && changes.removed.find(line.id) != changes.removed.end()) ||
                             (line.section >= 0 && !keeps[static_cast<std::size_t>(line.section)]);
        if (dropped)
            ++count;
        else if (const auto set = rewritten.find(i); set != rewritten.end())
        {
            out.Bytes(line.begin, line.equals ? line.valueAt : line.nameEnd);
            out.Text(line.equals ? set->second->value : u"=" + set->second->value);
            out.Bytes(line.end, line.next);
        }
        else
            out.Bytes(line.begin, line.next);
        if (const auto more = added.find(i); more != added.end())
            for (const Changes::Set* key : more->second)
                out.Key(key->key, key->value);
    }
    for (const auto& keys : newSections)
    {
        out.NewLine(u"[" + keys.front()->sectionSpelling + u"]");
        for (const Changes::Set* key : keys)
            out.Key(key->key, key->value);
    }
    return count;
}

// `merged` as every reader finds it: `changes` made to what each found in `current`, and
// nothing else. Otherwise Unsure, and `merged` becomes `current` again.
ProfileUpdate Checked(std::string_view current, const Changes* (&changes)[2], std::string& merged,
                      const AnsiCodePage& codePage)
{
    for (std::size_t i = 0; i < 2; ++i)
    {
        Profile before, after;
        Parse(current, kReadings[i], codePage, before);
        Parse(merged, kReadings[i], codePage, after);
        if (before.text.doubt || after.text.doubt || Keys(after) != changes[i]->After(Keys(before)))
        {
            merged.assign(current);
            return ProfileUpdate::Unsure;
        }
    }
    return ProfileUpdate::Written;
}

// Values as a line "key=value" gives them back.
Changes::Set Wanted(const ProfileWrite& write, const AnsiCodePage& codePage)
{
    const std::u16string section(Trim(Widen(write.section, codePage)));
    const std::u16string key(Trim(Widen(write.key, codePage)));
    return {KeyId(section, key), Fold(section), section, key, std::u16string(Trim(Widen(write.value, codePage)))};
}

} // namespace

ProfileUpdate MergeProfileChanges(std::string_view base, std::string_view edited, std::string_view current,
                                  std::string& merged, const AnsiCodePage* codePage, std::size_t* changed) noexcept
{
    try
    {
        const AnsiCodePage& cp = Or(codePage);
        Changes changes[2];
        bool doubt = false;
        for (std::size_t i = 0; i < 2; ++i)
        {
            Profile before, after;
            Parse(base, kReadings[i], cp, before);
            Parse(edited, kReadings[i], cp, after);
            doubt = doubt || before.text.doubt || after.text.doubt;
            changes[i] = Diff(before, after);
        }
        Profile now;
        Parse(current, Reading::Marked, cp, now);
        const std::size_t count = Apply(current, now, changes[0], merged, cp);
        const Changes* each[2] = {&changes[0], &changes[1]};
        ProfileUpdate result = ProfileUpdate::Written;
        if (merged != current)
            result = !doubt && changes[0] == changes[1] ? Checked(current, each, merged, cp) : ProfileUpdate::Unsure;
        if (result == ProfileUpdate::Unsure)
            merged.assign(current);
        if (changed)
            *changed = result == ProfileUpdate::Written ? count : 0;
        return result;
    }
    catch (...) // std::bad_alloc: nothing else is thrown here
    {
        return ProfileUpdate::OutOfMemory;
    }
}

ProfileUpdate WriteProfileKeys(std::string_view current, const ProfileWrite* writes, std::size_t count,
                               std::string& merged, const AnsiCodePage* codePage) noexcept
{
    try
    {
        const AnsiCodePage& cp = Or(codePage);
        Changes changes;
        for (std::size_t i = 0; i < count; ++i)
            changes.sets.push_back(Wanted(writes[i], cp));
        Profile now;
        Parse(current, Reading::Marked, cp, now);
        Apply(current, now, changes, merged, cp);
        const Changes* each[2] = {&changes, &changes};
        return merged == current ? ProfileUpdate::Written : Checked(current, each, merged, cp);
    }
    catch (...)
    {
        return ProfileUpdate::OutOfMemory;
    }
}

} // namespace uiext2
