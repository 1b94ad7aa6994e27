// Demonstration host: loads uiext2.dll from its own folder the way the shell or the WIA
// service does, creates the extension object through the class factory and prints what
// each of its interfaces answers and the language its pages would use; then binds an
// object to the simulated scanner as the shell's property sheet does.
#include "binding_demo.h"
#include "scan_demo.h"
#include "pages/language_code.h"
#include "platform/wia2.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <string>

namespace
{

const CLSID kClsidUiExtension = {0x2bca3e51, 0x192d, 0x430d, {0x9d, 0x2e, 0xcb, 0xf1, 0x80, 0x30, 0xea, 0xd7}};

using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();

std::string DllPath()
{
    char path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dll(path, length);
    return dll.erase(dll.find_last_of('\\') + 1) + "uiext2.dll";
}

void Show(const char* what, HRESULT hr)
{
    std::printf("  %-46s 0x%08lX\n", what, static_cast<unsigned long>(hr));
}

int ReadLocale(LCID locale, char (&text)[32])
{
    text[0] = '\0';
    return ::GetLocaleInfoA(locale, LOCALE_ILANGUAGE, text, sizeof(text));
}

} // namespace

// uiext2_demo [--folder FOLDER] [--name BASENAME]: where the scanned pages go.
int main(int argc, char** argv)
{
    std::wstring folder;
    std::wstring baseName = L"Scan";
    for (int i = 1; i + 1 < argc; i += 2)
    {
        const std::string value = argv[i + 1];
        if (std::string(argv[i]) == "--folder")
            folder.assign(value.begin(), value.end());
        else if (std::string(argv[i]) == "--name")
            baseName.assign(value.begin(), value.end());
    }
    if (folder.empty())
    {
        wchar_t pictures[MAX_PATH] = {};
        ::SHGetSpecialFolderPathW(nullptr, pictures, CSIDL_COMMON_PICTURES, TRUE);
        folder = std::wstring(pictures) + L"\\Scans";
    }

    const std::string path = DllPath();
    HMODULE dll = ::LoadLibraryA(path.c_str());
    if (!dll)
    {
        std::printf("cannot load %s (error %lu)\n", path.c_str(), ::GetLastError());
        return 1;
    }
    auto getClassObject =
        reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(::GetProcAddress(dll, "DllGetClassObject")));
    auto canUnloadNow =
        reinterpret_cast<CanUnloadNowFn>(reinterpret_cast<void*>(::GetProcAddress(dll, "DllCanUnloadNow")));
    if (!getClassObject || !canUnloadNow)
    {
        std::printf("%s lacks the COM server exports\n", path.c_str());
        return 1;
    }
    std::printf("loaded %s\n", path.c_str());
    Show("DllCanUnloadNow (nothing outstanding)", canUnloadNow());

    IClassFactory* factory = nullptr;
    HRESULT hr = getClassObject(kClsidUiExtension, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    Show("DllGetClassObject(IClassFactory)", hr);
    if (FAILED(hr))
        return 1;

    IWiaUIExtension2* extension = nullptr;
    hr = factory->CreateInstance(nullptr, IID_IWiaUIExtension2, reinterpret_cast<void**>(&extension));
    Show("IClassFactory::CreateInstance(IWiaUIExtension2)", hr);
    factory->Release();
    if (FAILED(hr))
        return 1;
    Show("DllCanUnloadNow (object alive)", canUnloadNow());

    IShellExtInit* init = nullptr;
    Show("QueryInterface(IShellExtInit)",
         extension->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init)));
    IShellPropSheetExt* sheet = nullptr;
    Show("QueryInterface(IShellPropSheetExt)",
         extension->QueryInterface(IID_IShellPropSheetExt, reinterpret_cast<void**>(&sheet)));
    IDispatch* dispatch = nullptr;
    Show("QueryInterface(IDispatch)", extension->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)));
    HICON icon = nullptr;
    Show("IWiaUIExtension2::GetDeviceIcon", extension->GetDeviceIcon(nullptr, &icon, 32));
    Show("IWiaUIExtension2::DeviceDialog(null)", extension->DeviceDialog(nullptr));
    if (init)
        Show("IShellExtInit::Initialize(null)", init->Initialize(nullptr, nullptr, nullptr));
    if (sheet)
        Show("IShellPropSheetExt::ReplacePage", sheet->ReplacePage(1, nullptr, 0));

    if (init)
        init->Release();
    if (sheet)
        sheet->Release();
    extension->Release();
    Show("DllCanUnloadNow (all released)", canUnloadNow());

    // The language the property pages and the companion program would be given.
    char systemText[32];
    char userText[32];
    const int systemCount = ReadLocale(LOCALE_SYSTEM_DEFAULT, systemText);
    const int userCount = ReadLocale(LOCALE_USER_DEFAULT, userText);
    const int32_t code = uiext2::LanguageCodeFromLocales({systemText, systemCount}, {userText, userCount});
    const uiext2::LanguageRow& row = uiext2::LanguageTable(code);
    char help[MAX_PATH];
    char library[64];
    uiext2::FormatHelpFile(row, help, sizeof(help));
    uiext2::FormatLanguageLibrary(row, library, sizeof(library));
    std::printf("language: system locale %s, user locale %s -> code 0x%04X (%s)\n", systemText, userText,
                static_cast<unsigned>(code), row.suffix);
    std::printf("  Settings page template %d, About page template %d\n", row.settingsTemplate, row.aboutTemplate);
    std::printf("  help file <Program Files>%s, language library %s\n", help, library);

    // The shell calls the extension on its user-interface thread, in a single-threaded apartment.
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;
    int result = RunBindingDemo(getClassObject);
    if (result == 0)
        result = RunScanDemo(folder, baseName);
    ::CoUninitialize();
    return result;
}
