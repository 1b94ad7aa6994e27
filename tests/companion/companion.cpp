// The simulated companion program, installed by the driver-package fixture as callgui.exe.
// It does what the scanner's own program does to the extension, following a script from
// its environment (it inherits the caller's):
//
//   UIEXT2_COMPANION_SCRIPT  commands separated by ';', run in order:
//     connect             open the run's pipe as its client
//     send:V              write the 32-bit value V;  split:V  the same in two writes
//     partial:N           write only the first N bytes of ItemsReady (2)
//     close               close the pipe;  exit  leave at once;  sleep:MS  wait
//     hold:MS             wait until the run closes the pipe, MS at most (report: PipeEnded)
//     lend                give a copy of its end of the pipe to the process UIEXT2_HOST_PID
//                         (report: Lent, the handle's value there), so that its exit leaves
//                         the pipe open, as when a program it started inherited it
//     scan:N[:FMT[:DPI[:fail]]]  put N pages (bmp, png, jpg, tif) into the scanner's tray;
//                         "fail" makes their download fail half-way
//     drop:N              N files "image.NNNN" in the image drop folder; foreign:NAME  one other
//     edit:TEXT           write [Companion] Edited=TEXT into the staging copy of VT_TWAIN1.ini
//     key:SECTION:KEY[:VALUE]  write that key into the same copy; without VALUE remove it
//     empty               cut the same copy to no bytes, as a program killed while rewriting it
//     cut:TEXT            cut the same copy just after the first TEXT in it, in place
//     gone:MS             wait until the pipe's name is gone, MS at most (report: PipeGone,
//                         DropFolderAtGone, RefusedBeforeGone: the last error while the
//                         name was there, and a copy of UIEXT2_COMPANION_WATCH at that
//                         moment in the report file's name + ".watched")
//     owner:CLASS         look at the application's window of that class (report shows it)
//     signal:NAME / await:NAME   set / wait for a named event (30 s at most)
//     report              write what it sees into the report file
//     occupy              hold the pipe's name as a server of one instance, as a run in
//                         another logon session would (a later CreateNamedPipe fails)
//   UIEXT2_COMPANION_REPORT  an INI file: [Companion] keys written by "report"
//   UIEXT2_SCANNER_TRAY      the folder the simulated scanner presents as waiting pages
//   UIEXT2_COMPANION_WATCH   the file "gone" copies
#include "page_image.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{

const char kPipe[] = "\\\\.\\pipe\\VTWIAUSB2";
const char kRunKey[] = "Software\\Velmora Tesk\\WIA_QAL2";

std::string Env(const char* name)
{
    char value[4096];
    const DWORD length = ::GetEnvironmentVariableA(name, value, sizeof(value));
    return length > 0 && length < sizeof(value) ? std::string(value, length) : std::string();
}

std::string CommonDocuments()
{
    char path[MAX_PATH] = {};
    ::SHGetSpecialFolderPathA(nullptr, path, CSIDL_COMMON_DOCUMENTS, FALSE);
    return path;
}

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1)
        parts.push_back(text.substr(start, at - start));
    parts.push_back(text.substr(start));
    return parts;
}

class Companion
{
public:
    Companion() : report_(Env("UIEXT2_COMPANION_REPORT")), tray_(Env("UIEXT2_SCANNER_TRAY")) {}

    void Run(const std::string& script)
    {
        if (!report_.empty())
            Note("Starts", std::to_string(::GetPrivateProfileIntA("Companion", "Starts", 0, report_.c_str()) + 1));
        for (const std::string& command : Split(script, ';'))
            if (!command.empty())
                Do(Split(command, ':'));
    }

private:
    void Do(const std::vector<std::string>& c)
    {
        const std::string& verb = c[0];
        const auto arg = [&](size_t i, const char* fallback) { return i < c.size() ? c[i] : std::string(fallback); };
        const long n = std::strtol(arg(1, "0").c_str(), nullptr, 0);
        if (verb == "connect")
            Connect();
        else if (verb == "send")
            Write(static_cast<DWORD>(n), 4, false);
        else if (verb == "split")
            Write(static_cast<DWORD>(n), 4, true);
        else if (verb == "partial")
            Write(2, static_cast<DWORD>(n), false);
        else if (verb == "close")
            pipe_ = (::CloseHandle(pipe_), INVALID_HANDLE_VALUE);
        else if (verb == "exit")
            ::ExitProcess(0);
        else if (verb == "sleep")
            ::Sleep(static_cast<DWORD>(n));
        else if (verb == "scan")
            Scan(n, arg(2, "bmp"), std::atoi(arg(3, "50").c_str()), arg(4, "") == "fail");
        else if (verb == "drop")
            for (long i = 0; i < n; ++i)
                Touch(DropFolder() + "\\image." + std::to_string(1000 + i));
        else if (verb == "foreign")
            Touch(DropFolder() + "\\" + arg(1, "notes.txt"));
        else if (verb == "edit")
            ::WritePrivateProfileStringA("Companion", "Edited", arg(1, "").c_str(), StagedSettings().c_str());
        else if (verb == "key")
            ::WritePrivateProfileStringA(arg(1, "").c_str(), arg(2, "").c_str(), c.size() > 3 ? c[3].c_str() : nullptr,
                                         StagedSettings().c_str());
        else if (verb == "empty")
            Touch(StagedSettings());
        else if (verb == "cut")
            Cut(StagedSettings(), arg(1, ""));
        else if (verb == "gone")
            Gone(static_cast<DWORD>(n));
        else if (verb == "owner")
            LookAtOwner(arg(1, ""));
        else if (verb == "signal" || verb == "await")
            Event(arg(1, ""), verb == "signal");
        else if (verb == "report")
            Report();
        else if (verb == "hold")
            Hold(static_cast<DWORD>(n));
        else if (verb == "lend")
            Lend();
        else if (verb == "occupy")
            held_ = ::CreateNamedPipeA(kPipe, PIPE_ACCESS_INBOUND, 0, 1, 0, 0, 0, nullptr);
    }

    void Connect()
    {
        for (int attempt = 0; attempt < 50 && pipe_ == INVALID_HANDLE_VALUE; ++attempt)
        {
            ::WaitNamedPipeA(kPipe, 200);
            pipe_ = ::CreateFileA(kPipe, GENERIC_READ | GENERIC_WRITE | READ_CONTROL, 0, nullptr, OPEN_EXISTING, 0,
                                  nullptr);
        }
        Note("Connected", pipe_ != INVALID_HANDLE_VALUE ? "1" : "0");
    }

    void Write(DWORD value, DWORD size, bool inTwo)
    {
        const BYTE bytes[4] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
                               static_cast<BYTE>(value >> 24)};
        DWORD written = 0;
        if (inTwo)
        {
            ::WriteFile(pipe_, bytes, 1, &written, nullptr);
            ::FlushFileBuffers(pipe_);
            ::Sleep(100);
            ::WriteFile(pipe_, bytes + 1, 3, &written, nullptr);
        }
        else
            ::WriteFile(pipe_, bytes, size, &written, nullptr);
    }

    // Pages appear whole: written under a "~" name the scanner skips, then renamed.
    void Scan(long count, const std::string& format, int dpi, bool failing)
    {
        ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        for (long i = 0; i < count; ++i)
        {
            // Numbered on from the pages an earlier scan left in the tray.
            const std::wstring tray(tray_.begin(), tray_.end());
            std::wstring part, whole;
            do
            {
                wchar_t name[64];
                std::swprintf(name, 64, L"page%04d%ls.%hs", ++pages_, failing ? L".fail" : L"", format.c_str());
                part = tray + L"\\~" + name;
                whole = tray + L"\\" + name;
            } while (::GetFileAttributesW(whole.c_str()) != INVALID_FILE_ATTRIBUTES);
            if (SUCCEEDED(companion::WritePage(part.c_str(), format.c_str(), pages_, dpi)))
                ::MoveFileW(part.c_str(), whole.c_str());
        }
        ::CoUninitialize();
    }

    static std::string DropFolder() { return CommonDocuments() + "\\Velmora\\VT_WIA_COPY"; }
    static std::string StagedSettings() { return CommonDocuments() + "\\Velmora\\VT_WIA\\VT_TWAIN1.ini"; }

    static void Touch(const std::string& path)
    {
        HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE)
            ::CloseHandle(file);
    }

    // Keeps what comes up to the end of the first `text`, rewriting the file in place.
    static void Cut(const std::string& path, const std::string& text)
    {
        HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return;
        char bytes[65536];
        DWORD got = 0;
        ::ReadFile(file, bytes, sizeof(bytes), &got, nullptr);
        const size_t at = std::string(bytes, got).find(text);
        if (at != std::string::npos)
        {
            ::SetFilePointer(file, static_cast<LONG>(at + text.size()), nullptr, FILE_BEGIN);
            ::SetEndOfFile(file);
        }
        ::CloseHandle(file);
    }

    void LookAtOwner(const std::string& windowClass)
    {
        HWND owner = ::FindWindowA(windowClass.c_str(), nullptr);
        DWORD_PTR answer = 0;
        Note("OwnerFound", owner ? "1" : "0");
        Note("OwnerEnabled", owner && ::IsWindowEnabled(owner) ? "1" : "0");
        // A window whose thread does not dispatch its messages does not answer.
        Note("OwnerAnswers",
             owner && ::SendMessageTimeoutA(owner, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer) ? "1" : "0");
    }

    static void Event(const std::string& name, bool set)
    {
        HANDLE event = ::CreateEventA(nullptr, TRUE, FALSE, name.c_str());
        if (!event)
            return;
        if (set)
            ::SetEvent(event);
        else
            ::WaitForSingleObject(event, 30000);
        ::CloseHandle(event);
    }

    void Hold(DWORD milliseconds)
    {
        const DWORD start = ::GetTickCount();
        bool ended = false;
        while (!ended && ::GetTickCount() - start < milliseconds)
        {
            ended = !::PeekNamedPipe(pipe_, nullptr, 0, nullptr, nullptr, nullptr);
            ::Sleep(1);
        }
        Note("PipeEnded", ended ? "1" : "0");
    }

    // What is left of the run at the moment its pipe's name goes: a run that still holds it
    // answers a client with "busy" (nobody listens), a name without a server is not found.
    void Gone(DWORD milliseconds)
    {
        const DWORD start = ::GetTickCount();
        bool gone = false;
        DWORD refused = 0; // why a client was refused while the name was there
        while (!gone && ::GetTickCount() - start < milliseconds)
        {
            HANDLE client = ::CreateFileA(kPipe, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            const DWORD error = client == INVALID_HANDLE_VALUE ? ::GetLastError() : ERROR_SUCCESS;
            gone = error == ERROR_FILE_NOT_FOUND;
            refused = gone ? refused : error;
            if (client != INVALID_HANDLE_VALUE)
                ::CloseHandle(client);
            else if (!gone)
                ::Sleep(1);
        }
        const bool dropFolder = ::GetFileAttributesA(DropFolder().c_str()) != INVALID_FILE_ATTRIBUTES;
        const std::string watched = Env("UIEXT2_COMPANION_WATCH");
        if (gone && !watched.empty())
            ::CopyFileA(watched.c_str(), (report_ + ".watched").c_str(), FALSE);
        Note("DropFolderAtGone", dropFolder ? "1" : "0");
        Note("PipeGone", gone ? "1" : "0");
        Note("RefusedBeforeGone", std::to_string(refused));
    }

    void Lend()
    {
        HANDLE host =
            ::OpenProcess(PROCESS_DUP_HANDLE, FALSE, std::strtoul(Env("UIEXT2_HOST_PID").c_str(), nullptr, 0));
        HANDLE lent = nullptr;
        if (host && ::DuplicateHandle(::GetCurrentProcess(), pipe_, host, &lent, 0, FALSE, DUPLICATE_SAME_ACCESS))
            Note("Lent", std::to_string(reinterpret_cast<ULONG_PTR>(lent)));
        if (host)
            ::CloseHandle(host);
    }

    void Report()
    {
        STARTUPINFOA startup = {};
        ::GetStartupInfoA(&startup);
        Note("ShowWindow", startup.dwFlags & STARTF_USESHOWWINDOW ? std::to_string(startup.wShowWindow) : "none");
        char folder[MAX_PATH] = {};
        ::GetCurrentDirectoryA(MAX_PATH, folder);
        Note("CurrentFolder", folder);

        HKEY key = nullptr;
        if (::RegOpenKeyExA(HKEY_CURRENT_USER, kRunKey, 0, KEY_READ, &key) == ERROR_SUCCESS)
        {
            for (const char* name : {"Application", "HelpPath", "LanguageDll"})
            {
                char data[MAX_PATH + 1] = {};
                DWORD size = MAX_PATH;
                const bool read = ::RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data),
                                                     &size) == ERROR_SUCCESS;
                Note(name, read ? std::string(data, size) : "");
            }
            ::RegCloseKey(key);
        }
        const std::string staging = CommonDocuments() + "\\Velmora\\VT_WIA\\";
        for (const char* file : {"VT_TWAIN1.ini", "RegList.ini", "VTTwainPageLog.ini"})
            Note((std::string("Staged ") + file).c_str(),
                 ::GetFileAttributesA((staging + file).c_str()) != INVALID_FILE_ATTRIBUTES ? "1" : "0");
        Note("DropFolder", ::GetFileAttributesA(DropFolder().c_str()) != INVALID_FILE_ATTRIBUTES ? "1" : "0");

        PSECURITY_DESCRIPTOR descriptor = nullptr;
        char* text = nullptr;
        if (pipe_ != INVALID_HANDLE_VALUE &&
            ::GetSecurityInfo(pipe_, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr,
                              &descriptor) == ERROR_SUCCESS &&
            ::ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1,
                                                                   DACL_SECURITY_INFORMATION, &text, nullptr))
        {
            Note("PipeDacl", text);
            ::LocalFree(text);
        }
        if (descriptor)
            ::LocalFree(descriptor);
    }

    void Note(const char* key, const std::string& value)
    {
        if (!report_.empty())
            ::WritePrivateProfileStringA("Companion", key, value.c_str(), report_.c_str());
    }

    std::string report_;
    std::string tray_;
    HANDLE pipe_ = INVALID_HANDLE_VALUE;
    HANDLE held_ = INVALID_HANDLE_VALUE; // closed when the program exits
    int pages_ = 0;
};

} // namespace

int main()
{
    // Held while the program runs, so a test can wait for it to be gone.
    HANDLE alive = ::CreateMutexA(nullptr, TRUE, "uiext2 simulated companion");
    Companion companion;
    companion.Run(Env("UIEXT2_COMPANION_SCRIPT"));
    if (alive)
        ::CloseHandle(alive);
    return 0;
}
