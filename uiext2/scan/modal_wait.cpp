// The modal wait of a scan run.
#include "scan/modal_wait.h"

namespace uiext2
{

DisabledOwner::DisabledOwner(HWND owner) noexcept
{
    // EnableWindow answers whether the window was disabled already; such an owner was
    // disabled by someone else and stays so.
    if (owner && ::IsWindow(owner) && !::EnableWindow(owner, FALSE))
        owner_ = owner;
}

DisabledOwner::~DisabledOwner()
{
    if (owner_)
        ::EnableWindow(owner_, TRUE);
}

ModalWait::~ModalWait()
{
    if (quitSeen_)
        ::PostQuitMessage(quitCode_);
}

DWORD ModalWait::Wait(const HANDLE* handles, DWORD count) noexcept
{
    for (;;)
    {
        // MWMO_INPUTAVAILABLE: messages that were already queued when the wait began wake
        // it too, not only the ones that arrive later.
        const DWORD result = ::MsgWaitForMultipleObjectsEx(count, handles, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (result < WAIT_OBJECT_0 + count)
            return result - WAIT_OBJECT_0;
        if (result != WAIT_OBJECT_0 + count)
            return WAIT_FAILED;
        DispatchPending();
    }
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
            continue;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

} // namespace uiext2
