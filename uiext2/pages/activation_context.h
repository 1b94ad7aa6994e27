// The library's own activation context: the common controls of version 6 for its pages and
// for every window it creates, whatever the host process's manifest asks for.
#pragma once

#include "support/activation_scope.h"

#include <windows.h>

namespace uiext2
{

// Made from the manifest resource (ISOLATIONAWARE_MANIFEST_RESOURCE_ID) of the module the
// first time it is asked for, then kept until the module unloads; null when it cannot be made.
HANDLE ModuleActivationContext() noexcept;

// Called at unload (FreeLibrary, not process exit): a context made from this module's
// resources must not outlive them, and a host that loads and unloads the library again and
// again must not collect one context per load. No page can exist then: every page holds a
// reference on its extension object, which keeps DllCanUnloadNow at S_FALSE.
void ReleaseModuleActivationContext() noexcept;

// The library's context for the length of a scope, around any window the library creates
// itself: `ModuleActivationScope scope;` before CreateWindow, DialogBox or MessageBox.
class ModuleActivationScope : public ActivationScope
{
public:
    ModuleActivationScope() noexcept : ActivationScope(ModuleActivationContext()) {}
};

} // namespace uiext2
