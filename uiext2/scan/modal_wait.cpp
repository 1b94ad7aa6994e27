// The modal wait of a scan run.
#include "scan/modal_wait.h"

namespace uiext2
{

DisabledOwner::DisabledOwner(HWND parent) noexcept
{
    if (!parent || !::IsWindow(parent))
        return;
    const HWND owner = ::GetAncestor(parent, GA_ROOT);
    if (!owner || ::GetWindowThreadProcessId(owner, nullptr) != ::GetCurrentThreadId())
        return;
    // EnableWindow answers whether the window was disabled already; such an owner was
    // disabled by someone else and stays so.
    if (!::EnableWindow(owner, FALSE))
        owner_ = owner;
}

void DisabledOwner::Enable() noexcept
{
    if (owner_)
        ::EnableWindow(owner_, TRUE);
    owner_ = nullptr;
}

ModalWait::~ModalWait()
{
    if (quitSeen_)
        ::PostQuitMessage(quitCode_);
}

DWORD ModalWait::Wait(const HANDLE* handles, DWORD count, DWORD milliseconds) noexcept
{
    const ULONGLONG start = ::GetTickCount64();
    while (!quitSeen_)
    {
        DWORD left = INFINITE;
        if (milliseconds != INFINITE)
        {
            const ULONGLONG spent = ::GetTickCount64() - start;
            left = spent < milliseconds ? static_cast<DWORD>(milliseconds - spent) : 0;
        }
        // MWMO_INPUTAVAILABLE: messages that were already queued when the wait began wake
        // it too, not only the ones that arrive later.
        const DWORD result = ::MsgWaitForMultipleObjectsEx(count, handles, left, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (result < WAIT_OBJECT_0 + count)
            return result - WAIT_OBJECT_0;
        if (result == WAIT_TIMEOUT)
            return WAIT_TIMEOUT;
        if (result != WAIT_OBJECT_0 + count)
            return WAIT_FAILED;
        DispatchPending();
    }
    return kQuit;
}

void ModalWait::DispatchPending() noexcept
{
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
    {
        if (message.message == WM_QUIT)
        {
            quitSeen_ = true;
            quitCode_ = static_cast<int>(message.wParam);
            return; // what is still queued is the application's loop's to see
        }
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

} // namespace uiext2
