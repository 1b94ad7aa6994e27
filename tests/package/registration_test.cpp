// The shipped registration, installed as the example driver package's INF installs it (with
// the platform's setupapi, from a package laid out as the archive is) or as a tester imports
// it, then used as the platform uses it: the extension's class is found under the UI
// class's shellex keys and created with CoCreateInstance, from the file the install put.
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

std::string Field(const INFCONTEXT& line, DWORD index)
{
    char value[LINE_LEN] = "";
    INFCONTEXT copy = line;
    ::SetupGetStringFieldA(&copy, index, value, sizeof value, nullptr);
    return value;
}

// Field `index` of the line `key` in `section`; empty when there is none.
std::string Entry(HINF inf, const std::string& section, const char* key, DWORD index = 1)
{
    INFCONTEXT line;
    return ::SetupFindFirstLineA(inf, section.c_str(), key, &line) ? Field(line, index) : "";
}

bool UnderWine()
{
    return ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

// The example INF in a package laid out as the release archive is, in a folder of its own:
// the INF beside a folder named for each architecture, which holds that architecture's DLL.
// Only the architecture of this process is laid out: the one the install picks.
class ExamplePackage
{
public:
    ExamplePackage()
    {
        char temp[MAX_PATH];
        ::GetTempPathA(MAX_PATH, temp);
        folder_ = std::string(temp) + "uiext2 package";
        const std::string inf = folder_ + "\\uiext2-example.inf";
        ::CreateDirectoryA(folder_.c_str(), nullptr);
        ::CopyFileA((ProgramFolder() + "\\uiext2-example.inf").c_str(), inf.c_str(), FALSE);
        inf_.reset(::SetupOpenInfFileA(inf.c_str(), nullptr, INF_STYLE_WIN4, nullptr));
        if (inf_.get() == INVALID_HANDLE_VALUE)
            return;
        // The device's install section as Windows picks it: the models section and the
        // DDInstall section of this architecture's decoration (".NTamd64", ".NTarm64").
        char models[LINE_LEN], install[LINE_LEN], *decoration = nullptr;
        const std::string manufacturer = Entry(inf_.get(), "Manufacturer", nullptr);
        if (!::SetupDiGetActualSectionToInstallA(inf_.get(), manufacturer.c_str(), models, sizeof models, nullptr,
                                                 nullptr))
            return;
        INFCONTEXT model;
        if (!::SetupFindFirstLineA(inf_.get(), models, nullptr, &model) ||
            !::SetupDiGetActualSectionToInstallA(inf_.get(), Field(model, 1).c_str(), install, sizeof install, nullptr,
                                                 &decoration) ||
            !decoration || ::_strnicmp(decoration, ".NT", 3) != 0)
            return;
        install_ = install;
        architecture_ = decoration + 3;
        const std::string dll = ProgramFolder() + "\\" + kDllName;
        ::CreateDirectoryA((folder_ + "\\" + architecture_).c_str(), nullptr);
        ::CopyFileA(dll.c_str(), (folder_ + "\\" + architecture_ + "\\" + kDllName).c_str(), FALSE);
        // Wine 8's setupapi takes a file listed in a decorated [SourceDisksFiles.<arch>] from
        // the INF's own folder, not from the subfolder the entry names (as Windows does, and
        // as it does for an undecorated entry). Only there a second copy lies beside the INF.
        if (UnderWine())
            ::CopyFileA(dll.c_str(), (folder_ + "\\" + kDllName).c_str(), FALSE);
    }
    ~ExamplePackage()
    {
        inf_.reset();
        ::DeleteFileA((folder_ + "\\" + kDllName).c_str());
        ::DeleteFileA((folder_ + "\\" + architecture_ + "\\" + kDllName).c_str());
        ::RemoveDirectoryA((folder_ + "\\" + architecture_).c_str());
        ::DeleteFileA((folder_ + "\\uiext2-example.inf").c_str());
        ::RemoveDirectoryA(folder_.c_str());
    }

    bool ok() const { return !install_.empty(); }
    const std::string& architecture() const { return architecture_; }

    // The class the device's DeviceData section names: WIA copies it into the device's key,
    // and applications read it back as WIA_DIP_UI_CLSID.
    std::string UiClass() const { return Entry(inf_.get(), Entry(inf_.get(), install_, "DeviceData"), "UI Class ID"); }

    // Where the install section's files go, as setupapi resolves the copy section's
    // DestinationDirs entry: on Windows the driver store's folder of this architecture. Wine 8
    // knows no DIRID 13 ("unknown dirid 13") and resolves it to C:\windows\system32\unknown,
    // for the copy and for the %13% registry value alike, so the two still agree.
    std::string Destination() const
    {
        char folder[MAX_PATH] = "";
        const std::string copy = Entry(inf_.get(), install_, "CopyFiles");
        if (!::SetupGetTargetPathA(inf_.get(), nullptr, copy.c_str(), folder, MAX_PATH, nullptr))
            return "";
        return std::string(folder) + "\\" + kDllName;
    }

    // The device's install section, files and registry, as the device installer runs it for
    // this architecture, with the package's folder as its source.
    bool Install() const
    {
        // INVALID_HANDLE_VALUE as the progress window: no progress dialog, no prompts.
        void* context =
            ::SetupInitDefaultQueueCallbackEx(nullptr, reinterpret_cast<HWND>(INVALID_HANDLE_VALUE), 0, 0, nullptr);
        const BOOL done = ::SetupInstallFromInfSectionA(
            nullptr, inf_.get(), install_.c_str(), SPINST_FILES | SPINST_REGISTRY, nullptr, folder_.c_str(),
            SP_COPY_NEWER_OR_SAME, ::SetupDefaultQueueCallbackA, context, nullptr, nullptr);
        ::SetupTermDefaultQueueCallback(context);
        return done != FALSE;
    }

private:
    std::string folder_, install_, architecture_;
    uiext2::Unique<InfTraits> inf_;
};

// The copy is the build's DLL (a copy left loaded by an earlier case of this process cannot
// be overwritten, and need not be).
bool SameContent(const std::string& a, const std::string& b)
{
    std::ifstream first(a, std::ios::binary), second(b, std::ios::binary);
    return first && second &&
           std::equal(std::istreambuf_iterator<char>(first), {}, std::istreambuf_iterator<char>(second), {});
}

// The driver package's way: the example INF's install section. Returns where the DLL went.
std::string InstallExampleInf(const ExamplePackage& package)
{
    const std::string installed = package.Destination();
    return !installed.empty() && package.Install() && SameContent(ProgramFolder() + "\\" + kDllName, installed)
               ? installed
               : "";
}

// A test machine's way: the DLL copied into the system folder, the .reg file imported.
std::string ImportRegFile(const ExamplePackage&)
{
    const std::string built = ProgramFolder() + "\\" + kDllName, installed = SystemFolder() + "\\" + kDllName;
    if (!::CopyFileA(built.c_str(), installed.c_str(), FALSE) && !SameContent(built, installed))
        return "";
    std::string command = "reg.exe import \"" + ProgramFolder() + "\\uiext2.reg\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    uiext2::UniqueProcessInformation process;
    if (!::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, process.put()))
        return "";
    DWORD code = 1;
    ::WaitForSingleObject(process.process(), 60000);
    ::GetExitCodeProcess(process.process(), &code);
    return code == 0 ? installed : "";
}

struct Source
{
    const char* name;
    std::string (*install)(const ExamplePackage&); // where the DLL went; empty on failure
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
        ASSERT_TRUE(package_.ok()) << "uiext2-example.inf must open with a device install section of this "
                                      "architecture";
        uiClass_ = package_.UiClass();
        // Nothing of an earlier case or an interrupted run may stand in for this install.
        RemoveClass(uiClass_);
        for (const std::string& place : Places())
            ::DeleteFileA(place.c_str());
        ASSERT_EQ(S_OK, ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)); // as the shell's UI thread
    }
    void TearDown() override
    {
        ::CoFreeUnusedLibrariesEx(0, 0);
        ::CoUninitialize();
        RemoveClass(uiClass_);
        for (const std::string& place : Places())
            ::DeleteFileA(place.c_str()); // fails harmlessly while still loaded
    }

    // Where either way puts the DLL.
    std::vector<std::string> Places() const { return {package_.Destination(), SystemFolder() + "\\" + kDllName}; }

    ExamplePackage package_;
    std::string uiClass_;
};

TEST_P(Registration, ThePlatformFindsAndCreatesTheExtension)
{
    ASSERT_FALSE(uiClass_.empty()) << "no UI Class ID in the DeviceData section";
    const std::string registered = GetParam().install(package_);
    ASSERT_FALSE(registered.empty()) << "error " << ::GetLastError() << " installing for " << package_.architecture();

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
                         testing::Values(Source{"ExampleInf", InstallExampleInf}, Source{"RegFile", ImportRegFile}),
                         [](const testing::TestParamInfo<Source>& row) { return std::string(row.param.name); });

} // namespace
