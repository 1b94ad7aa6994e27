// A settings file's bytes as UTF-16 text, each code unit knowing the bytes it came from, as
// the platform's profile readers decode them. Pure logic, internal to the INI model.
#pragma once

#include "device/profile_merge.h"

#include <string>
#include <string_view>
#include <vector>

namespace uiext2::profile
{

enum class Encoding
{
    Ansi,
    Utf8,
    Utf16Le,
    Utf16Be,
};

// The two readers a file of ours meets, which differ on a few files:
// - Marked: the encoding by any byte-order mark (UTF-8, UTF-16 LE or BE), a section name up
//   to the last ']' of its line, a '[' line without ']' no section. This is Wine's reader.
// - Windows: only a UTF-16 LE mark is understood (a UTF-8 mark is three ANSI characters on
//   the first line, UTF-16 BE is not read at all), a section name ends at the first ']' or
//   at the line's end. This is Windows' reader as measured on Windows 10 and 11 by others;
//   Wine's own tests mark none of these cases, so they are taken from those measurements.
// Where the two disagree on what a write changes, the model does not write.
enum class Reading
{
    Marked,
    Windows,
};

struct Text
{
    Encoding encoding = Encoding::Ansi;
    std::u16string units;
    std::vector<std::size_t> at; // the byte each unit starts at, and one more for the end
    // Something a reader may take otherwise than the model: NUL, form feed and ^Z (blanks to
    // Wine, unmeasured on Windows), Unicode spaces, letters that fold to ASCII letters in one
    // reader's case rules only, bytes that are not text in the encoding, an odd UTF-16 length.
    bool doubt = false;
};

// Throws std::bad_alloc only.
Text Decode(std::string_view bytes, Reading reading, const AnsiCodePage& codePage);
void Encode(std::u16string_view text, Encoding encoding, const AnsiCodePage& codePage, std::string& out);
std::u16string Widen(std::string_view ansi, const AnsiCodePage& codePage);

// Bytes as the same characters (ISO 8859-1): the code page of the native build's tests.
const AnsiCodePage& Latin1() noexcept;

} // namespace uiext2::profile
