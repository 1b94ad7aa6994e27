// The library's activation context, made once from its manifest resource.
#include "pages/activation_context.h"

#include "com/module.h"

namespace uiext2
{

namespace
{
// Null until first asked for. Two threads asking at once may both make one; the first to
// store its own keeps it, and the other releases its copy.
HANDLE volatile g_context = nullptr;
} // namespace

HANDLE ModuleActivationContext() noexcept
{
    if (HANDLE context = g_context)
        return context;
    ACTCTXA request{};
    request.cbSize = sizeof(request);
    request.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.hModule = ModuleInstance();
    request.lpResourceName = ISOLATIONAWARE_MANIFEST_RESOURCE_ID;
    HANDLE made = ::CreateActCtxA(&request);
    if (made == INVALID_HANDLE_VALUE)
        return nullptr;
    if (HANDLE earlier = ::InterlockedCompareExchangePointer(&g_context, made, nullptr))
    {
        ::ReleaseActCtx(made);
        return earlier;
    }
    return made;
}

void ReleaseModuleActivationContext() noexcept
{
    if (HANDLE context = ::InterlockedExchangePointer(&g_context, nullptr))
        ::ReleaseActCtx(context);
}

} // namespace uiext2
