// What an extension object knows of the scanner it is bound to, for its pages.
#pragma once

#include "device/device_folders.h"
#include "device/version_text.h"

namespace uiext2
{

// Held by each extension object, never module-wide: Explorer runs each scanner's property
// sheet on a thread of its own in one process, so two objects bound to two scanners live
// side by side, and each page must read, write and draw its own object's device. A page
// holds a reference on the object, which keeps this record alive for as long as the page.
struct BoundDevice
{
    DeviceFolders folders; // the device's folders, held from the binding on
    char versionText[VersionTextSize]{};
};

} // namespace uiext2
