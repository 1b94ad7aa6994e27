// The shipped registration, installed as a driver package or a tester installs it, then
// used as the platform uses it: the extension's class is found under the UI class's
// shellex keys and created with CoCreateInstance, from the file the registration names.
#include "platform/wia2.h"
#include "support/unique.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <setupapi.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace
{

const char kDllName[] = "uiext2.dll";

std::string ProgramFolder()
{
    char path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.erase(folder.find_last_of('\\'));
}

std::string SystemFolder()
{
    char path[MAX_PATH];
    return std::string(path, ::GetSystemDirectoryA(path, MAX_PATH));
}

struct InfTraits
{
    using pointer = HINF;
    static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(pointer inf) noexcept { ::SetupCloseInfFile(inf); }
};

// The INF fragment opened as SetupAPI opens a driver's INF: it takes its place in an INF
// that has the [Version] and [SourceDisksNames] sections every driver INF has.
class InfFragment
{
public:
    InfFragment()
    {
        char folder[MAX_PATH];
        ::GetTempPathA(MAX_PATH, folder);
        path_ = std::string(folder) + "uiext2_registration_test.inf";
        std::ifstream fragment(ProgramFolder() + "\\uiext2.inf", std::ios::binary);
        std::ofstream(path_, std::ios::binary) << "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Image\r\n"
                                               << "[SourceDisksNames]\r\n1=\"uiext2\"\r\n"
                                               << fragment.rdbuf();
        inf_.reset(::SetupOpenInfFileA(path_.c_str(), nullptr, INF_STYLE_WIN4, nullptr));
    }
    ~InfFragment() { ::DeleteFileA(path_.c_str()); }

    HINF get() const { return inf_.get(); }

    // The class the device's DeviceData names: WIA copies it into the device's key, and
    // applications read it back as WIA_DIP_UI_CLSID.
    std::string UiClass() const
    {
        INFCONTEXT line;
        char value[64] = "";
        if (::SetupFindFirstLineA(inf_.get(), "uiext2.DeviceData", "UI Class ID", &line))
            ::SetupGetStringFieldA(&line, 1, value, sizeof value, nullptr);
        return value;
    }

private:
    std::string path_;
    uiext2::Unique<InfTraits> inf_;
};

// The driver package's way: the install directives of the fragment, files and registry,
// with the build's output folder as the package's source disk.
bool InstallFromInf(const InfFragment& inf)
{
    // The install section decorated for this process's architecture, as Windows picks it.
    char section[LINE_LEN];
    if (!::SetupDiGetActualSectionToInstallA(inf.get(), "uiext2.Install", section, sizeof section, nullptr, nullptr))
        return false;
    // INVALID_HANDLE_VALUE as the progress window: no progress dialog, no prompts.
    void* context =
        ::SetupInitDefaultQueueCallbackEx(nullptr, reinterpret_cast<HWND>(INVALID_HANDLE_VALUE), 0, 0, nullptr);
    const BOOL done = ::SetupInstallFromInfSectionA(nullptr, inf.get(), section, SPINST_FILES | SPINST_REGISTRY,
                                                    nullptr, ProgramFolder().c_str(), SP_COPY_NEWER_OR_SAME,
                                                    ::SetupDefaultQueueCallbackA, context, nullptr, nullptr);
    ::SetupTermDefaultQueueCallback(context);
    return done != FALSE;
}

// The copy in the system folder is the build's DLL (a copy left loaded by an earlier case
// of this process cannot be overwritten, and need not be).
bool SameContent(const std::string& a, const std::string& b)
{
    std::ifstream first(a, std::ios::binary), second(b, std::ios::binary);
    return first && second &&
           std::equal(std::istreambuf_iterator<char>(first), {}, std::istreambuf_iterator<char>(second), {});
}

// A test machine's way: the DLL copied into the system folder, the .reg file imported.
bool ImportRegFile(const InfFragment&)
{
    const std::string built = ProgramFolder() + "\\" + kDllName, installed = SystemFolder() + "\\" + kDllName;
    if (!::CopyFileA(built.c_str(), installed.c_str(), FALSE) && !SameContent(built, installed))
        return false;
    std::string command = "reg.exe import \"" + ProgramFolder() + "\\uiext2.reg\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    uiext2::UniqueProcessInformation process;
    if (!::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, process.put()))
        return false;
    DWORD code = 1;
    ::WaitForSingleObject(process.process(), 60000);
    ::GetExitCodeProcess(process.process(), &code);
    return code == 0;
}

struct Source
{
    const char* name;
    bool (*install)(const InfFragment&);
};

void PrintTo(const Source& source, std::ostream* out)
{
    *out << source.name;
}

// The classes listed as subkeys of a handler list, as the shell and WIA read them.
std::vector<CLSID> Handlers(const std::string& uiClass, const char* list)
{
    std::vector<CLSID> classes;
    const std::string key = "CLSID\\" + uiClass + "\\shellex\\" + list;
    uiext2::UniqueHKey opened;
    if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, opened.put()) != ERROR_SUCCESS)
        return classes;
    char name[64];
    for (DWORD i = 0, length = sizeof name;
         ::RegEnumKeyExA(opened.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, length = sizeof name)
    {
        wchar_t wide[64];
        CLSID clsid;
        ::MultiByteToWideChar(CP_ACP, 0, name, -1, wide, 64);
        if (SUCCEEDED(::CLSIDFromString(wide, &clsid)))
            classes.push_back(clsid);
    }
    return classes;
}

// The file an object's code comes from: the registered DLL for an object made in this
// apartment, the COM runtime for a proxy to an object made elsewhere.
std::string CodeModule(IUnknown* object)
{
    HMODULE module = nullptr;
    const auto vtable = *reinterpret_cast<const char* const*>(object);
    if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              vtable, &module))
        return "";
    char path[MAX_PATH];
    return std::string(path, ::GetModuleFileNameA(module, path, MAX_PATH));
}

// CoCreateInstance on a new thread in the apartment kind asked for, which releases what it
// got before it ends; the calling thread (the process's main STA) pumps messages meanwhile,
// in case COM hosts the object there.
struct Creation
{
    DWORD apartment;
    const CLSID* clsid;
    const IID* iid;
    HRESULT result;
    std::string module;

    static DWORD WINAPI Run(void* argument)
    {
        auto* call = static_cast<Creation*>(argument);
        ::CoInitializeEx(nullptr, call->apartment);
        {
            ComPtr<IUnknown> object;
            call->result = ::CoCreateInstance(*call->clsid, nullptr, CLSCTX_INPROC_SERVER, *call->iid,
                                              reinterpret_cast<void**>(object.GetAddressOf()));
            if (object)
                call->module = CodeModule(object.Get());
        }
        ::CoUninitialize();
        return 0;
    }
};

Creation CreateOnThread(DWORD apartment, REFCLSID clsid, REFIID iid)
{
    Creation call{apartment, &clsid, &iid, E_FAIL, {}};
    uiext2::UniqueHandle thread(::CreateThread(nullptr, 0, Creation::Run, &call, 0, nullptr));
    HANDLE handles[] = {thread.get()};
    DWORD index = 0;
    ::CoWaitForMultipleHandles(0, 30000, 1, handles, &index);
    return call;
}

void RemoveClass(const std::string& clsid)
{
    if (!clsid.empty())
        ::RegDeleteTreeA(HKEY_CLASSES_ROOT, ("CLSID\\" + clsid).c_str());
}

class Registration : public testing::TestWithParam<Source>
{
protected:
    void SetUp() override
    {
        ASSERT_NE(INVALID_HANDLE_VALUE, inf_.get()) << "uiext2.inf must open as part of a driver INF";
        uiClass_ = inf_.UiClass();
        // Nothing of an earlier case or an interrupted run may stand in for this install.
        RemoveClass(uiClass_);
        ::DeleteFileA((SystemFolder() + "\\" + kDllName).c_str());
        ASSERT_EQ(S_OK, ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)); // as the shell's UI thread
    }
    void TearDown() override
    {
        ::CoFreeUnusedLibrariesEx(0, 0);
        ::CoUninitialize();
        RemoveClass(uiClass_);
        ::DeleteFileA((SystemFolder() + "\\" + kDllName).c_str()); // fails harmlessly while still loaded
    }

    InfFragment inf_;
    std::string uiClass_;
};

TEST_P(Registration, ThePlatformFindsAndCreatesTheExtension)
{
    ASSERT_FALSE(uiClass_.empty()) << "no UI Class ID in the DeviceData section";
    ASSERT_TRUE(GetParam().install(inf_)) << "error " << ::GetLastError();
    const std::string registered = SystemFolder() + "\\" + kDllName;

    // Each list names one class; the object it makes answers what that host calls.
    const struct
    {
        const char* list;
        std::vector<const IID*> interfaces;
    } hosts[] = {
        {"PropertySheetHandlers", {&IID_IShellExtInit, &IID_IShellPropSheetExt}},
        {"WiaDialogExtensionHandlers", {&IID_IWiaUIExtension2}},
    };
    for (const auto& host : hosts)
    {
        SCOPED_TRACE(host.list);
        const std::vector<CLSID> classes = Handlers(uiClass_, host.list);
        ASSERT_EQ(1u, classes.size());
        for (const IID* iid : host.interfaces)
        {
            ComPtr<IUnknown> object;
            ASSERT_EQ(S_OK, ::CoCreateInstance(classes[0], nullptr, CLSCTX_INPROC_SERVER, *iid,
                                               reinterpret_cast<void**>(object.GetAddressOf())));
            EXPECT_EQ(0, ::lstrcmpiA(registered.c_str(), CodeModule(object.Get()).c_str()))
                << "made from " << CodeModule(object.Get()) << ", not directly from " << registered;

            // An apartment-threaded object is made in any STA that asks, and is never handed
            // directly to the multithreaded apartment: COM makes it in an STA and marshals,
            // or refuses.
            const Creation otherSta = CreateOnThread(COINIT_APARTMENTTHREADED, classes[0], *iid);
            EXPECT_EQ(S_OK, otherSta.result);
            EXPECT_EQ(0, ::lstrcmpiA(registered.c_str(), otherSta.module.c_str()))
                << "a second STA did not get the object itself";
            const Creation mta = CreateOnThread(COINIT_MULTITHREADED, classes[0], *iid);
            EXPECT_TRUE(FAILED(mta.result) || ::lstrcmpiA(registered.c_str(), mta.module.c_str()) != 0)
                << "the multithreaded apartment got the object itself";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Shipped, Registration,
                         testing::Values(Source{"InfFragment", InstallFromInf}, Source{"RegFile", ImportRegFile}),
                         [](const testing::TestParamInfo<Source>& row) { return std::string(row.param.name); });

} // namespace
