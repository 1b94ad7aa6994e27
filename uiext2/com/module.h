// Module-wide state of the in-process server: its instance handle and the count that
// decides whether the host may unload it.
#pragma once

#include <windows.h>

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

// The exports' bodies, kept here so that tests can reach them without the DLL.
HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object) noexcept;
HRESULT CanUnloadNow() noexcept;

} // namespace uiext2
