// The server end of the companion program's pipe: created for this user alone at this
// process's integrity level, served to the launched companion and nobody else, every wait
// ended by the companion's exit, read four bytes at a time.
#pragma once

#include <windows.h>

#include "scan/modal_wait.h"
#include "support/unique.h"

namespace uiext2
{

// The pipe's descriptor: a protected DACL granting the current user full access, and a
// mandatory label at this process's integrity level that refuses opening by any process
// below it, for reading as for writing.
HRESULT CompanionPipeSecurity(UniqueLocal& descriptor) noexcept;

class CompanionPipe
{
public:
    // Creates the pipe as the first instance of its name, for local clients of the current
    // user only. The platform's error when it cannot.
    HRESULT Create() noexcept;

    // Waits until `companion` (a process handle) connects, or exits. A client of any other
    // process is disconnected and the wait goes on. S_OK: the companion connected; S_FALSE:
    // it left without connecting, or a WM_QUIT ended the wait; an error when waiting failed.
    HRESULT WaitForClient(HANDLE companion, ModalWait& wait) noexcept;

    // Reads one message. False when the pipe closed or failed, a WM_QUIT ended the wait, or
    // `companion` exited, before four bytes came: a partial value is never a message. What
    // the companion wrote before it exited is still read.
    bool ReadMessage(HANDLE companion, ModalWait& wait, DWORD& message) noexcept;

    // Disconnects the client: the companion sees the end of the run. The pipe instance,
    // and with it the pipe's name, stays until Close.
    void Disconnect() noexcept;

    // Disconnects the client and closes the pipe.
    void Close() noexcept;

private:
    // One connection of any client; results as WaitForClient's.
    HRESULT Connect(HANDLE companion, ModalWait& wait) noexcept;
    bool ClientIs(HANDLE companion) const noexcept;

    // Takes back an overlapped operation that is still pending; true if it had completed,
    // with the bytes it moved.
    bool Abandon(OVERLAPPED& operation, DWORD& bytes) noexcept;

    UniqueFile pipe_;
    UniqueHandle event_;         // manual reset; one overlapped operation at a time
    bool companionGone_ = false; // from then on only what waits in the pipe is read
};

} // namespace uiext2
