// An activation context made current for the length of a scope.
#pragma once

#include <windows.h>

namespace uiext2
{

// Windows resolves window classes (the common controls of version 6 or the system's old
// ones), and the DLLs they come from, through the activation context current on the thread
// when a window is created. An in-process server runs in its host's context, so every window
// the library creates itself (a dialog, a message box) is created inside this scope with the
// library's own context. A null context, or one that cannot be activated, leaves the
// thread's current context as it is.
class ActivationScope
{
public:
    explicit ActivationScope(HANDLE context) noexcept
        : active_(context && context != INVALID_HANDLE_VALUE && ::ActivateActCtx(context, &cookie_))
    {
    }
    ~ActivationScope()
    {
        if (active_)
            ::DeactivateActCtx(0, cookie_);
    }
    ActivationScope(const ActivationScope&) = delete;
    ActivationScope& operator=(const ActivationScope&) = delete;

    bool active() const noexcept { return active_; }

private:
    ULONG_PTR cookie_ = 0;
    bool active_;
};

} // namespace uiext2
