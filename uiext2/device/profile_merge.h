// Merging one writer's changes to an INI file into the file as another writer left it, key
// by key. Pure logic: bytes in, bytes out, no platform headers.
#pragma once

#include "device/path_rules.h"

#include <string>
#include <string_view>

namespace uiext2
{

// Reads `base` and `edited` as the private-profile functions do and applies what `edited`
// changed against `base` to `current`, writing the result into `merged`:
// - a key added or given another value in `edited` gets that value in `current`: the line
//   of its first occurrence is rewritten, or a line "key=value" is added at the end of the
//   section's first occurrence, or a new section is added at the end of the file;
// - a key that `edited` removed goes from every occurrence of its section in `current`, and
//   a section that `edited` removed whole goes with it when nothing else is left in it;
// - where both changed one key, `edited` wins; keys that `edited` did not change keep the
//   value `current` gives them.
// A key is named by its section and its own name, both without letter case (ASCII letters,
// not the trail bytes of `isLeadByte`'s double-byte characters) and trimmed of blanks; its
// value is the text after the first '=' of its first occurrence, trimmed. Every line of
// `current` that no change touches stays as it was, byte for byte, with its line end;
// added lines take the line end `current` uses (CRLF by default). Comments (';'), lines
// that are neither a section nor a key, and lines before the first section are never
// changed.
// Keys are read, and changed, only in the first section of each name, as every reader finds
// them; a later section of the same name keeps its keys. `changed` (when given) receives the
// number of lines that changed, were added or went. False, with `merged` unspecified, only
// when memory runs out.
bool MergeProfileChanges(std::string_view base, std::string_view edited, std::string_view current, std::string& merged,
                         LeadByteTest isLeadByte = nullptr, std::size_t* changed = nullptr) noexcept;

// One key to write, as WritePrivateProfileString writes it.
struct ProfileWrite
{
    std::string_view section, key, value;
};

// Writes `count` keys into `current` as the private-profile functions would: an existing
// key's value is replaced in the first section of its name, a new key goes after that
// section's last line that is not blank or a comment, a new section at the end of the file.
// Every line no write touches stays byte for byte. False only when memory runs out.
bool WriteProfileKeys(std::string_view current, const ProfileWrite* writes, std::size_t count, std::string& merged,
                      LeadByteTest isLeadByte = nullptr) noexcept;

// The value GetPrivateProfileString finds for the key: its first occurrence in the first
// section of that name, trimmed, one pair of enclosing quotes removed. False when there is
// none (or memory runs out).
bool ReadProfileValue(std::string_view bytes, std::string_view section, std::string_view key, std::string& value,
                      LeadByteTest isLeadByte = nullptr) noexcept;

// True for a file with no line but blank ones: what a writer that was cut short leaves.
bool IsBlankProfile(std::string_view bytes) noexcept;

} // namespace uiext2
