// The DLL's entry point and its four exports; the bodies live in com/.
#include "com/module.h"

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        uiext2::SetModuleInstance(instance);
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object)
{
    return uiext2::GetClassObject(clsid, iid, object);
}

STDAPI DllCanUnloadNow()
{
    return uiext2::CanUnloadNow();
}

// The driver package registers the class; the library writes nothing itself.
STDAPI DllRegisterServer()
{
    return S_OK;
}

STDAPI DllUnregisterServer()
{
    return DllRegisterServer();
}
