// Links planted as another local user would plant them. Under Wine a Windows program cannot
// make a link, so tests make them from the Unix side of the prefix.
#pragma once

#include <string>

namespace uiext2_test
{

// Starts a program and lets go of it at once.
bool StartProgram(const std::string& program, std::string commandLine);

// A path on C: as a Unix shell sees it, quoted: under the Wine prefix's drive_c.
std::string OnC(std::string path);

// Runs `script` in a Unix shell and waits for it to finish.
bool UnixShell(const std::string& script);

// Every entry of a folder with its content, to see that nothing in it changed.
std::string Snapshot(const std::string& folder);

} // namespace uiext2_test
