// The static class factory: no count of its own, no state, one instance per process.
#include "com/class_factory.h"

#include "com/module.h"
#include "com/ui_extension.h"

#include <new>

namespace uiext2
{

UiExtensionClassFactory& UiExtensionClassFactory::Instance() noexcept
{
    // A function-local static of a constant object: built on first use, never destroyed
    // before the module goes.
    static UiExtensionClassFactory factory;
    return factory;
}

IFACEMETHODIMP UiExtensionClassFactory::QueryInterface(REFIID iid, void** object) noexcept
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!::IsEqualIID(iid, IID_IUnknown) && !::IsEqualIID(iid, IID_IClassFactory))
        return E_NOINTERFACE;
    *object = static_cast<IClassFactory*>(this);
    static_cast<IClassFactory*>(*object)->AddRef();
    return S_OK;
}

IFACEMETHODIMP_(ULONG) UiExtensionClassFactory::AddRef() noexcept
{
    ModuleAddRef();
    return 2;
}

IFACEMETHODIMP_(ULONG) UiExtensionClassFactory::Release() noexcept
{
    ModuleRelease();
    return 1;
}

IFACEMETHODIMP UiExtensionClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) noexcept
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;

    auto* extension = new (std::nothrow) UiExtension();
    if (!extension)
        return E_OUTOFMEMORY;

    // The maker's reference keeps the object alive across the query; if the query fails,
    // this Release destroys it and gives its module count back.
    const HRESULT hr = extension->QueryInterface(iid, object);
    extension->Release();
    return hr;
}

IFACEMETHODIMP UiExtensionClassFactory::LockServer(BOOL lock) noexcept
{
    if (lock)
        ModuleAddRef();
    else
        ModuleRelease();
    return S_OK;
}

} // namespace uiext2
