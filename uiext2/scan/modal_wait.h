// Waiting on the application's user-interface thread as a modal dialog does: the owner
// window disabled, the thread's messages dispatched, a WM_QUIT ending the wait and kept for
// the caller.
#pragma once

#include <windows.h>

namespace uiext2
{

// Disables the window a modal dialog owned by `parent` disables: the top-level window of
// `parent`, which may be a child window. Only a window of the calling thread is touched:
// disabling another thread's window would send it messages and wait for that thread,
// which may itself be waiting for this one. Enables it again when the object is destroyed
// or Enable() is called, and only if it was enabled before.
class DisabledOwner
{
public:
    explicit DisabledOwner(HWND parent) noexcept;
    ~DisabledOwner() { Enable(); }

    // Gives the owner back before the caller's own clean-up, as a modal dialog enables its
    // owner before its window goes: the platform then activates the owner, not some other
    // program's window.
    void Enable() noexcept;

    DisabledOwner(const DisabledOwner&) = delete;
    DisabledOwner& operator=(const DisabledOwner&) = delete;

private:
    HWND owner_ = nullptr;
};

// Waits for handles while dispatching the calling thread's messages. A WM_QUIT that
// arrives meanwhile ends this wait and every later one (the application is closing and
// the caller should wind up), and is posted again when the object is destroyed, so the
// application's own loop still sees it.
class ModalWait
{
public:
    ModalWait() noexcept = default;
    ~ModalWait();
    ModalWait(const ModalWait&) = delete;
    ModalWait& operator=(const ModalWait&) = delete;

    // What Wait returns once a WM_QUIT has come.
    static constexpr DWORD kQuit = 0xFFFFFFFEu;

    // The index of the first signalled handle, kQuit, WAIT_TIMEOUT once `milliseconds` have
    // passed, or WAIT_FAILED.
    DWORD Wait(const HANDLE* handles, DWORD count, DWORD milliseconds = INFINITE) noexcept;
    bool QuitSeen() const noexcept { return quitSeen_; }

private:
    void DispatchPending() noexcept;

    bool quitSeen_ = false;
    int quitCode_ = 0;
};

} // namespace uiext2
