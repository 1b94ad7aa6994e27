// Instance handle, module count and the bodies of the exported functions.
#include "com/module.h"

#include "com/class_factory.h"
#include "class_id.h"

namespace uiext2
{

// The class ID the build's registration files name (see cmake/identity.cmake).
const CLSID CLSID_UiExtension = UIEXT2_CLSID_INITIALIZER;

namespace
{
HINSTANCE g_instance = nullptr;
volatile LONG g_moduleRefCount = 0;
} // namespace

HINSTANCE ModuleInstance() noexcept
{
    return g_instance;
}

void SetModuleInstance(HINSTANCE instance) noexcept
{
    g_instance = instance;
}

void ModuleAddRef() noexcept
{
    ::InterlockedIncrement(&g_moduleRefCount);
}

void ModuleRelease() noexcept
{
    ::InterlockedDecrement(&g_moduleRefCount);
}

LONG ModuleRefCount() noexcept
{
    return g_moduleRefCount;
}

HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object) noexcept
{
    if (!object)
        return E_INVALIDARG;
    if (::IsEqualCLSID(clsid, CLSID_UiExtension))
        return UiExtensionClassFactory::Instance().QueryInterface(iid, object);
    *object = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CanUnloadNow() noexcept
{
    return ModuleRefCount() == 0 ? S_OK : S_FALSE;
}

} // namespace uiext2
