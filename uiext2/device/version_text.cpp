// The version line that the About page draws on the logo, module-wide.
#include "device/version_text.h"

#include <cstdio>

namespace uiext2
{

namespace
{
// Written without a lock, as every module-wide text: the most recent binding wins.
char g_versionText[VersionTextSize];
} // namespace

const char* VersionText() noexcept
{
    return g_versionText;
}

void SetVersionText(const char* firmwareVersion) noexcept
{
    std::snprintf(g_versionText, sizeof(g_versionText), "Version %s", firmwareVersion ? firmwareVersion : "");
}

} // namespace uiext2
