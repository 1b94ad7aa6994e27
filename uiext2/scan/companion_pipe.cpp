// The companion program's pipe.
#include "scan/companion_pipe.h"

#include "trace/trace_events.h"
#include "scan/scan_names.h"
#include "support/hresult.h"

#include <sddl.h>

#include <cstdio>
#include <cstring>

namespace uiext2
{

namespace
{

constexpr DWORD kMaxInstances = 1; // the companion is the one client
constexpr DWORD kOutBufferSize = 128;
constexpr DWORD kInBufferSize = 260;
constexpr DWORD kClientTimeoutMs = 10000;

// The SID of a token's user or integrity level (both records begin with a
// SID_AND_ATTRIBUTES) as SDDL text.
HRESULT TokenSidText(HANDLE token, TOKEN_INFORMATION_CLASS kind, UniqueLocal& text) noexcept
{
    alignas(SID_AND_ATTRIBUTES) BYTE record[sizeof(TOKEN_MANDATORY_LABEL) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    RETURN_LAST_ERROR_IF(!::GetTokenInformation(token, kind, record, sizeof(record), &size));
    RETURN_LAST_ERROR_IF(!::ConvertSidToStringSidA(reinterpret_cast<SID_AND_ATTRIBUTES*>(record)->Sid,
                                                   reinterpret_cast<char**>(text.put())));
    return S_OK;
}

} // namespace

HRESULT CompanionPipeSecurity(UniqueLocal& descriptor) noexcept
{
    UniqueHandle token;
    RETURN_LAST_ERROR_IF(!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()));
    UniqueLocal user;
    UniqueLocal level;
    RETURN_IF_FAILED(TokenSidText(token.get(), TokenUser, user));
    RETURN_IF_FAILED(TokenSidText(token.get(), TokenIntegrityLevel, level));

    // The DACL: the user this process runs as, alone (the default DACL would also admit the
    // system and administrators, and on some machines more). The label: our own level, not a
    // fixed medium one, since the companion inherits our token and a host running low or
    // elevated starts it at that level. A label at or below the caller's own level needs no
    // privilege. No-read-up too: a client that opened the pipe only for reading would still
    // take its one connection (one that opens it with no access at all is left to the
    // client check). Wine stores the label and reports it back but does not enforce it, so
    // only Windows shows its effect.
    char sddl[320];
    const int length = std::snprintf(sddl, sizeof(sddl), "D:P(A;;GA;;;%s)S:(ML;;NWNR;;;%s)",
                                     static_cast<const char*>(user.get()), static_cast<const char*>(level.get()));
    RETURN_HR_IF(E_UNEXPECTED, length <= 0 || length >= static_cast<int>(sizeof(sddl)));
    RETURN_LAST_ERROR_IF(!::ConvertStringSecurityDescriptorToSecurityDescriptorA(
        sddl, SDDL_REVISION_1, reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put()), nullptr));
    return S_OK;
}

HRESULT CompanionPipe::Create() noexcept
{
    UniqueLocal descriptor;
    RETURN_IF_FAILED(CompanionPipeSecurity(descriptor));
    SECURITY_ATTRIBUTES security = {sizeof(security), descriptor.get(), FALSE};

    event_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    RETURN_LAST_ERROR_IF(!event_);

    // First instance: a pipe of this name made earlier by another process (one that would
    // read the settings' password or feed us messages) makes this fail instead of letting
    // us serve beside it. Wine accepts the flag without enforcing it. Overlapped, so that
    // waiting can watch the companion's process and the application's messages too.
    pipe_.reset(::CreateNamedPipeA(kCompanionPipeName,
                                   PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE | FILE_FLAG_OVERLAPPED,
                                   PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                                   kMaxInstances, kOutBufferSize, kInBufferSize, kClientTimeoutMs, &security));
    RETURN_LAST_ERROR_IF(!pipe_);
    return S_OK;
}

bool CompanionPipe::Abandon(OVERLAPPED& operation, DWORD& bytes) noexcept
{
    // The operation refers to `operation` until it ends: cancel, then wait for the end.
    ::CancelIoEx(pipe_.get(), &operation);
    bytes = 0;
    return ::GetOverlappedResult(pipe_.get(), &operation, &bytes, TRUE) != FALSE;
}

HRESULT CompanionPipe::Connect(HANDLE companion, ModalWait& wait) noexcept
{
    OVERLAPPED operation = {};
    operation.hEvent = event_.get();
    if (!::ConnectNamedPipe(pipe_.get(), &operation))
    {
        const DWORD error = ::GetLastError();
        // Connected before we asked; or connected and already gone, which the first read
        // then reports.
        if (error == ERROR_PIPE_CONNECTED || error == ERROR_NO_DATA)
            return S_OK;
        if (error != ERROR_IO_PENDING)
            return HRESULT_FROM_WIN32(error);
    }

    // The connection comes first: a companion that connected, wrote and exited is served.
    const HANDLE handles[] = {event_.get(), companion};
    const DWORD signalled = wait.Wait(handles, 2);
    DWORD bytes = 0;
    if (signalled == 0)
        return ::GetOverlappedResult(pipe_.get(), &operation, &bytes, FALSE) ? S_OK
                                                                             : HRESULT_FROM_WIN32(::GetLastError());
    if (Abandon(operation, bytes))
        return S_OK; // it connected just before it exited, or before the quit; Serve() sees the rest
    return signalled == 1 || signalled == ModalWait::kQuit ? S_FALSE : HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE);
}

bool CompanionPipe::ClientIs(HANDLE companion) const noexcept
{
    // A process ID is given to another process only once the process object is gone, and
    // our handle keeps the companion's: an ID equal to its ID is the companion. The client's
    // ID is the one it connected with, so a client that has closed its end already is still
    // told apart. When the ID cannot be read, the client counts as a stranger.
    ULONG client = 0;
    const DWORD id = ::GetProcessId(companion);
    return id != 0 && ::GetNamedPipeClientProcessId(pipe_.get(), &client) && client == id;
}

HRESULT CompanionPipe::WaitForClient(HANDLE companion, ModalWait& wait) noexcept
{
    // Any process of this user may open the pipe before the companion does, and while it
    // holds the one instance the companion finds the pipe busy. Such a client is cut off
    // and the pipe listens again, until the companion connects or exits.
    for (;;)
    {
        const HRESULT hr = Connect(companion, wait);
        if (hr != S_OK || trace::PipeClient(pipe_.get(), ClientIs(companion)))
            return hr;
        ::DisconnectNamedPipe(pipe_.get());
    }
}

bool CompanionPipe::ReadMessage(HANDLE companion, ModalWait& wait, DWORD& message) noexcept
{
    BYTE bytes[sizeof(DWORD)];
    DWORD have = 0;
    while (have < sizeof(bytes))
    {
        DWORD wanted = sizeof(bytes) - have;
        if (companionGone_)
        {
            // Its last words are read; nothing more is waited for, even while a program it
            // started holds its end of the pipe open.
            DWORD available = 0;
            if (!::PeekNamedPipe(pipe_.get(), nullptr, 0, nullptr, &available, nullptr) || available == 0)
                return false;
            wanted = available < wanted ? available : wanted;
        }
        OVERLAPPED operation = {};
        operation.hEvent = event_.get();
        DWORD got = 0;
        if (!::ReadFile(pipe_.get(), bytes + have, wanted, nullptr, &operation))
        {
            if (::GetLastError() != ERROR_IO_PENDING)
                return false; // closed by the companion, or broken
            // The read comes first: bytes that arrived as the companion exited are taken.
            const HANDLE handles[] = {event_.get(), companion};
            const DWORD signalled = wait.Wait(handles, companionGone_ ? 1 : 2);
            if (signalled != 0)
            {
                const bool completed = Abandon(operation, got);
                if (signalled != 1)
                    return false; // a WM_QUIT, or the wait failed
                companionGone_ = true;
                have += completed ? got : 0;
                continue;
            }
        }
        if (!::GetOverlappedResult(pipe_.get(), &operation, &got, FALSE))
            return false;
        have += got; // a value written in pieces arrives in pieces
    }
    std::memcpy(&message, bytes, sizeof(message)); // little-endian, as the companion writes it
    return true;
}

void CompanionPipe::Disconnect() noexcept
{
    if (pipe_)
        ::DisconnectNamedPipe(pipe_.get());
}

void CompanionPipe::Close() noexcept
{
    Disconnect();
    pipe_.reset();
    event_.reset();
}

} // namespace uiext2
