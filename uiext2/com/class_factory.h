// The static class factory of the extension object.
#pragma once

#include <unknwn.h>

namespace uiext2
{

// Statically allocated, never destroyed: its AddRef/Release only move the module count.
class UiExtensionClassFactory final : public IClassFactory
{
public:
    static UiExtensionClassFactory& Instance() noexcept;

    // IUnknown
    IFACEMETHODIMP QueryInterface(REFIID iid, void** object) noexcept override;
    IFACEMETHODIMP_(ULONG) AddRef() noexcept override;
    IFACEMETHODIMP_(ULONG) Release() noexcept override;

    // IClassFactory
    IFACEMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) noexcept override;
    IFACEMETHODIMP LockServer(BOOL lock) noexcept override;

private:
    UiExtensionClassFactory() = default;
};

} // namespace uiext2
