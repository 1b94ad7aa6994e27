// The server end of the companion program's pipe: created for this user alone, waited on
// together with the companion's process, read four bytes at a time.
#pragma once

#include <windows.h>

#include "scan/modal_wait.h"
#include "support/unique.h"

namespace uiext2
{

class CompanionPipe
{
public:
    // Creates the pipe as the first instance of its name, for local clients of the current
    // user only. The platform's error when it cannot.
    HRESULT Create() noexcept;

    // Waits until a client connects or `companion` exits. S_OK: connected; S_FALSE: the
    // companion left without connecting, or a WM_QUIT ended the wait; an error when
    // waiting failed.
    HRESULT WaitForClient(HANDLE companion, ModalWait& wait) noexcept;

    // Reads one message. False when the pipe closed or failed, or a WM_QUIT ended the wait,
    // before four bytes came: a partial value is never a message.
    bool ReadMessage(ModalWait& wait, DWORD& message) noexcept;

    // Disconnects the client: the companion sees the end of the run. The pipe instance,
    // and with it the pipe's name, stays until Close.
    void Disconnect() noexcept;

    // Disconnects the client and closes the pipe.
    void Close() noexcept;

private:
    // Takes back an overlapped operation that is still pending; true if it had completed.
    bool Abandon(OVERLAPPED& operation) noexcept;

    UniqueFile pipe_;
    UniqueHandle event_; // manual reset; one overlapped operation at a time
};

} // namespace uiext2
