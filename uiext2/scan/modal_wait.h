// Waiting on the application's user-interface thread as a modal dialog does: the owner
// window disabled, the thread's messages dispatched, a WM_QUIT kept for the caller.
#pragma once

#include <windows.h>

namespace uiext2
{

// Disables `owner` (when it is a window) for the object's lifetime, and enables it again
// only if it was enabled before.
class DisabledOwner
{
public:
    explicit DisabledOwner(HWND owner) noexcept;
    ~DisabledOwner();
    DisabledOwner(const DisabledOwner&) = delete;
    DisabledOwner& operator=(const DisabledOwner&) = delete;

private:
    HWND owner_ = nullptr;
};

// Waits for handles while dispatching the calling thread's messages. A WM_QUIT that
// arrives meanwhile is taken off the queue so the wait can go on, and is posted again
// when the object is destroyed, so the application's own loop still sees it.
class ModalWait
{
public:
    ModalWait() noexcept = default;
    ~ModalWait();
    ModalWait(const ModalWait&) = delete;
    ModalWait& operator=(const ModalWait&) = delete;

    // The index of the first signalled handle, or WAIT_FAILED.
    DWORD Wait(const HANDLE* handles, DWORD count) noexcept;

private:
    void DispatchPending() noexcept;

    bool quitSeen_ = false;
    int quitCode_ = 0;
};

} // namespace uiext2
