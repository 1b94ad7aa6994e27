// The version line that the About page draws on the logo, module-wide.
#pragma once

#include <cstddef>

namespace uiext2
{

// Room for "Version " and a firmware version of at most 31 bytes, terminator included.
constexpr std::size_t VersionTextSize = 40;

// "Version <firmware>" of the device bound most recently in this process; empty until then.
const char* VersionText() noexcept;

// Formats the text from a firmware version of at most 31 bytes; a longer one is cut to fit.
void SetVersionText(const char* firmwareVersion) noexcept;

} // namespace uiext2
