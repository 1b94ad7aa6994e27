// Instance handle, module count and the bodies of the exported functions.
#include "com/module.h"

#include "com/class_factory.h"

namespace uiext2
{

// {2BCA3E51-192D-430D-9D2E-CBF18030EAD7}
const CLSID CLSID_UiExtension = {0x2bca3e51, 0x192d, 0x430d, {0x9d, 0x2e, 0xcb, 0xf1, 0x80, 0x30, 0xea, 0xd7}};

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
