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
// `changedKeys`, when given, gets the number of keys `edited` added, changed or removed.
// False, with `merged` unspecified, only when memory runs out.
bool MergeProfileChanges(std::string_view base, std::string_view edited, std::string_view current, std::string& merged,
                         LeadByteTest isLeadByte = nullptr, std::size_t* changedKeys = nullptr) noexcept;

} // namespace uiext2
