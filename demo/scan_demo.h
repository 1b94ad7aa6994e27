// The scan road of the demonstration host, with the simulated scanner and companion.
#pragma once

#include <string>

// Installs the simulated driver package and companion, registers the extension's class
// as a driver package would, creates the object with CoCreateInstance and asks it for the
// scanner's image dialog into `folder` with `baseName`; prints every file it received.
// 0 when the dialog returned S_OK.
int RunScanDemo(const std::wstring& folder, const std::wstring& baseName);
