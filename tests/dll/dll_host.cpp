// Loading the DLL under test from the folder of the test program.
#include "dll_host.h"

#include <string>

namespace testhost
{

const CLSID CLSID_UiExtension = {0x2bca3e51, 0x192d, 0x430d, {0x9d, 0x2e, 0xcb, 0xf1, 0x80, 0x30, 0xea, 0xd7}};

namespace
{
template <typename Fn> void Resolve(HMODULE module, const char* name, Fn& fn)
{
    fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

Exports Load()
{
    char path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dll(path, length);
    dll.erase(dll.find_last_of('\\') + 1);
    dll += "uiext2.dll";

    Exports e{};
    e.module = ::LoadLibraryA(dll.c_str());
    if (e.module)
    {
        Resolve(e.module, "DllGetClassObject", e.DllGetClassObject);
        Resolve(e.module, "DllCanUnloadNow", e.DllCanUnloadNow);
        Resolve(e.module, "DllRegisterServer", e.DllRegisterServer);
        Resolve(e.module, "DllUnregisterServer", e.DllUnregisterServer);
    }
    return e;
}
} // namespace

const Exports& Dll()
{
    static const Exports exports = Load();
    return exports;
}

HRESULT CreateExtension(REFIID iid, void** object)
{
    IClassFactory* factory = nullptr;
    HRESULT hr = Dll().DllGetClassObject(CLSID_UiExtension, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr))
        return hr;
    hr = factory->CreateInstance(nullptr, iid, object);
    factory->Release();
    return hr;
}

} // namespace testhost
