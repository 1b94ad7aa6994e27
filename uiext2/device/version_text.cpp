// The version line that the About page draws on the logo.
#include "device/version_text.h"

#include <cstdio>

namespace uiext2
{

void FormatVersionText(const char* firmwareVersion, char (&text)[VersionTextSize]) noexcept
{
    std::snprintf(text, sizeof(text), "Version %s", firmwareVersion ? firmwareVersion : "");
}

} // namespace uiext2
