// Module-wide state of the in-process server: its instance handle, the count that decides
// whether the host may unload it, and the base of every object the library hands out.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <wrl/client.h>

#include <new>
#include <utility>

namespace uiext2
{

// {2BCA3E51-192D-430D-9D2E-CBF18030EAD7}: the one creatable class.
extern const CLSID CLSID_UiExtension;

// Recorded at process attach; dialog templates and the logo load from it.
HINSTANCE ModuleInstance() noexcept;
void SetModuleInstance(HINSTANCE instance) noexcept;

// Factory references, server locks and live objects. Changed only atomically.
void ModuleAddRef() noexcept;
void ModuleRelease() noexcept;
LONG ModuleRefCount() noexcept;

// Holds the module for its lifetime, as a server lock does.
class ModuleLock
{
public:
    ModuleLock() noexcept { ModuleAddRef(); }
    ~ModuleLock() { ModuleRelease(); }
    ModuleLock(const ModuleLock&) = delete;
    ModuleLock& operator=(const ModuleLock&) = delete;
};

// The reference count of an object of ours, and the module it holds for its whole life: an
// object handed to the platform (a page's stream, a transfer callback) may outlive the call
// that made it, and the host must not unload the library under it. The one Release of all
// the interfaces deletes the object. A new object starts with the one reference its maker holds.
template <typename... Interfaces> class ComObject : public Interfaces...
{
public:
    IFACEMETHODIMP_(ULONG) AddRef() noexcept override { return static_cast<ULONG>(::InterlockedIncrement(&refCount_)); }
    IFACEMETHODIMP_(ULONG) Release() noexcept override
    {
        const LONG count = ::InterlockedDecrement(&refCount_);
        if (count == 0)
            delete this;
        return static_cast<ULONG>(count);
    }

    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

protected:
    ComObject() noexcept { ModuleAddRef(); }
    virtual ~ComObject() { ModuleRelease(); }

private:
    volatile LONG refCount_ = 1;
};

// Makes a T with its first reference held by `out`. Not through ComPtr::Attach, which adds a
// reference in MinGW-w64's header and takes it over in Microsoft's: assigning the pointer
// adds one in both, and the maker's reference is then given back.
template <typename T, typename... Args> HRESULT MakeObject(Microsoft::WRL::ComPtr<T>& out, Args&&... args) noexcept
{
    out.Reset();
    T* made = new (std::nothrow) T(std::forward<Args>(args)...);
    if (!made)
        return E_OUTOFMEMORY;
    out = made;
    made->Release();
    return S_OK;
}

// The exports' bodies, kept here so that tests can reach them without the DLL.
HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object) noexcept;
HRESULT CanUnloadNow() noexcept;

} // namespace uiext2
