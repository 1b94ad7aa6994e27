// The DLL's entry point and its four exports; the bodies live in com/.
#include "pages/activation_context.h"
#include "com/module.h"
#include "trace/trace_events.h"

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH)
    {
        uiext2::SetModuleInstance(instance);
        uiext2::trace::RegisterProvider();
    }
    // Unloaded by FreeLibrary (reserved null), not at process exit, where nothing is torn
    // down: the context made from this module's manifest goes with the module, as the
    // platform's isolation-aware cleanup does it, and the provider is unregistered, since
    // its enable callback is this module's code.
    else if (reason == DLL_PROCESS_DETACH && !reserved)
    {
        uiext2::trace::UnregisterProvider();
        uiext2::ReleaseModuleActivationContext();
    }
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
