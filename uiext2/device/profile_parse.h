// A settings file's lines, sections and keys as one profile reader finds them. Pure logic,
// internal to the INI model.
#pragma once

#include "device/profile_text.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace uiext2::profile
{

enum class Kind
{
    Other, // blank, comment, text before the first section, or a header nobody reads
    Section,
    Key,
};

struct Line
{
    std::size_t begin = 0, end = 0, next = 0; // units: the text, its line end, the next line
    Kind kind = Kind::Other;
    std::u16string_view name;  // the section's or the key's, trimmed, cut at a NUL
    std::u16string_view value; // a key's, trimmed, cut at a NUL
    bool equals = false;       // a key's line has a '=' (without, readers find no value)
    std::size_t nameEnd = 0;   // a key's: where its name ends, and where its value starts
    std::size_t valueAt = 0;
    int section = -1;  // the section occurrence the line belongs to (its header's too)
    bool read = false; // in the first occurrence of its section's name: where readers look
    std::u16string id; // a key's section and name without letter case
};

// Lines hold views of `text`: a profile is filled in place and never copied or moved.
struct Profile
{
    Profile() = default;
    Profile(const Profile&) = delete;
    Profile& operator=(const Profile&) = delete;

    Text text;
    std::vector<Line> lines;
    std::vector<std::u16string> sections; // each occurrence's name without letter case
    std::vector<std::u16string_view> spellings;
};

// Throws std::bad_alloc only.
void Parse(std::string_view bytes, Reading reading, const AnsiCodePage& codePage, Profile& profile);

// A line's text, without its line end.
inline std::u16string_view TextOf(const Profile& profile, const Line& line) noexcept
{
    return std::u16string_view(profile.text.units).substr(line.begin, line.end - line.begin);
}

bool IsBlank(char16_t c) noexcept;
std::u16string_view Trim(std::u16string_view text) noexcept;
std::u16string Fold(std::u16string_view name);
std::u16string KeyId(std::u16string_view section, std::u16string_view key);

// Each key a reader finds: its value, or none for a line without '='.
using KeyMap = std::map<std::u16string, std::optional<std::u16string>>;
KeyMap Keys(const Profile& profile);

} // namespace uiext2::profile
