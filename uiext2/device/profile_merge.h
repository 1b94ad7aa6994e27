// Reading and changing the INI files shared with the companion program, as the platform's
// private-profile functions read them, and merging one writer's changes into the file as
// another writer left it, key by key. Pure logic: bytes in, bytes out, no platform headers.
#pragma once

#include "device/path_rules.h"

#include <string>
#include <string_view>
#include <vector>

namespace uiext2
{

// The ANSI code page the profile functions convert with (CP_ACP on Windows: see
// SystemCodePage). A file without a UTF-16 mark is read in it, and a value read from a UTF-8
// or UTF-16 file comes out in it, as GetPrivateProfileStringA gives it.
class AnsiCodePage
{
public:
    virtual bool IsLeadByte(unsigned char byte) const noexcept = 0;
    // Append the converted text; they throw std::bad_alloc only.
    virtual void ToWide(std::string_view ansi, std::u16string& wide) const = 0;
    virtual void ToAnsi(std::u16string_view wide, std::string& ansi) const = 0;

protected:
    ~AnsiCodePage() = default;
};

// What became of an update.
enum class ProfileUpdate
{
    Written,     // the result reads as the update meant, and every other key as before
    Unsure,      // a reader might find the result otherwise: nothing changes (result = current)
    OutOfMemory, // the result is unspecified
};

// Reads `base` and `edited` as the private-profile functions do and applies what `edited`
// changed against `base` to `current`, writing the result into `merged`:
// - a key added or given another value in `edited` gets that value in `current`: the line
//   of its first occurrence is rewritten, or a line "key=value" is added at the end of the
//   section's first occurrence, or a new section is added at the end of the file;
// - a key that `edited` removed goes from every occurrence of its section in `current`, and
//   a section that `edited` removed whole goes with it when nothing else is left in it;
// - where both changed one key, `edited` wins; keys that `edited` did not change keep the
//   value `current` gives them.
// A key is named by its section and its own name, both without ASCII letter case and trimmed
// of blanks; its value is the text after the first '=' of its first occurrence, trimmed.
// A file is read in the encoding its byte-order mark names (UTF-8, UTF-16 LE or BE; none:
// the ANSI code page); CR, LF and CRLF all end a line. Every line of `current` that no change
// touches stays as it was, byte for byte; changed and added lines are in the file's encoding
// and added ones take its first line end (a new file: ANSI and CRLF). Comments (';') and
// lines before the first section are never changed; a later section of a name already seen
// is never read (a removal takes the key from it too). `changed` (when given) receives the number of lines that
// changed, were added or went. Unsure, with `merged` = `current`, when the platform's readers (see profile_text.h)
// could read one of the three files differently from each other, or the result otherwise than meant: a file with a
// UTF-8 mark whose first section starts on its first line, a section name with two ']' or none, NUL bytes, and the
// like.
ProfileUpdate MergeProfileChanges(std::string_view base, std::string_view edited, std::string_view current,
                                  std::string& merged, const AnsiCodePage* codePage = nullptr,
                                  std::size_t* changed = nullptr) noexcept;

// One key to write, as WritePrivateProfileString writes it.
struct ProfileWrite
{
    std::string_view section, key, value;
};

// Writes `count` keys (text in the ANSI code page) into `current` as the private-profile
// functions would: an existing key's value is replaced in the first section of its name, a
// new key goes after that section's last line that is not blank or a comment, a new section
// at the end of the file. Every line no write touches stays byte for byte; the file keeps
// its encoding, mark and line ends. Unsure as MergeProfileChanges is.
ProfileUpdate WriteProfileKeys(std::string_view current, const ProfileWrite* writes, std::size_t count,
                               std::string& merged, const AnsiCodePage* codePage = nullptr) noexcept;

// The value GetPrivateProfileStringA finds for the key, in the ANSI code page: its first
// occurrence in the first section of that name, trimmed, one pair of enclosing quotes
// removed. A file with a mark is read as its mark says. False when there is none (or memory
// runs out).
bool ReadProfileValue(std::string_view bytes, std::string_view section, std::string_view key, std::string& value,
                      const AnsiCodePage* codePage = nullptr) noexcept;

// A file as GetPrivateProfileSectionNamesA and GetPrivateProfileSectionA list it, in the
// ANSI code page: every section's name in order (duplicates too, none that is empty), and
// each with the entries of the first section of its name ("key=value" or a line without
// '=', names and values cut at a NUL). `sure` is false where the readers could differ.
struct ProfileSection
{
    std::string name;
    std::vector<std::string> entries;
};
bool ListProfile(std::string_view bytes, std::vector<ProfileSection>& sections, bool& sure,
                 const AnsiCodePage* codePage = nullptr) noexcept;

// True for a file with no line but blank ones (a mark aside): what a writer that was cut
// short leaves.
bool IsBlankProfile(std::string_view bytes) noexcept;

} // namespace uiext2
