// The version line that the About page draws on the logo.
#pragma once

#include <cstddef>

namespace uiext2
{

// Room for "Version " and a firmware version of at most 31 bytes, terminator included.
constexpr std::size_t VersionTextSize = 40;

// "Version <firmware>" into `text`; a firmware version longer than 31 bytes is cut to fit.
void FormatVersionText(const char* firmwareVersion, char (&text)[VersionTextSize]) noexcept;

} // namespace uiext2
