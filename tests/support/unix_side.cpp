// Links planted from the Unix side of the Wine prefix.
#include "unix_side.h"

#include "driver_package.h"

#include <windows.h>

#include <algorithm>

namespace uiext2_test
{

bool StartProgram(const std::string& program, std::string commandLine)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started = {};
    if (!::CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &started))
        return false;
    ::CloseHandle(started.hThread);
    ::CloseHandle(started.hProcess);
    return true;
}

std::string OnC(std::string path)
{
    char prefix[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableA("WINEPREFIX", prefix, MAX_PATH);
    std::replace(path.begin(), path.end(), '\\', '/');
    return length && length < MAX_PATH ? "'" + std::string(prefix) + "/drive_c/" + path.substr(3) + "'" : "'/nowhere'";
}

// Wine cannot wait for a Unix process, so the script leaves a marker. Nor is there a Windows
// process behind it whose handles could be closed: the process information Wine reports for
// one holds no handles of ours (Wine 10 leaves whatever its buffers held there), and closing
// those values would close other handles of this process. They are left alone.
bool UnixShell(const std::string& script)
{
    const std::string marker = "C:\\uiext2-shell-done";
    ::DeleteFileA(marker.c_str());
    std::string commandLine = "sh -c \"" + script + "; touch " + OnC(marker) + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started = {};
    if (!::CreateProcessA("Z:\\bin\\sh", &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &started))
        return false;
    for (int i = 0; i < 400 && !FileExists(marker); ++i)
        ::Sleep(25);
    return ::DeleteFileA(marker.c_str()) != FALSE;
}

std::string Snapshot(const std::string& folder)
{
    std::string all;
    WIN32_FIND_DATAA found;
    HANDLE find = ::FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return all;
    do
        all += std::string(found.cFileName) + "=" + FileText(folder + "\\" + found.cFileName) + ";";
    while (::FindNextFileA(find, &found));
    ::FindClose(find);
    return all;
}

} // namespace uiext2_test
