// The companion program's pipe.
#include "scan/companion_pipe.h"

#include "scan/scan_names.h"
#include "support/hresult.h"

#include <sddl.h>

#include <cstdio>
#include <cstring>

namespace uiext2
{

namespace
{

constexpr DWORD kMaxInstances = 2;
constexpr DWORD kOutBufferSize = 128;
constexpr DWORD kInBufferSize = 260;
constexpr DWORD kClientTimeoutMs = 10000;

// A protected DACL with one entry: full access for the user this process runs as. The
// default DACL would also admit the system and administrators, and on some machines more.
HRESULT CurrentUserOnly(UniqueLocal& descriptor) noexcept
{
    UniqueHandle token;
    RETURN_LAST_ERROR_IF(!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()));
    alignas(TOKEN_USER) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    RETURN_LAST_ERROR_IF(!::GetTokenInformation(token.get(), TokenUser, user, sizeof(user), &size));

    UniqueLocal sidText;
    RETURN_LAST_ERROR_IF(!::ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user)->User.Sid,
                                                   reinterpret_cast<char**>(sidText.put())));
    char sddl[256];
    const int length = std::snprintf(sddl, sizeof(sddl), "D:P(A;;GA;;;%s)", static_cast<const char*>(sidText.get()));
    RETURN_HR_IF(E_UNEXPECTED, length <= 0 || length >= static_cast<int>(sizeof(sddl)));
    RETURN_LAST_ERROR_IF(!::ConvertStringSecurityDescriptorToSecurityDescriptorA(
        sddl, SDDL_REVISION_1, reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put()), nullptr));
    return S_OK;
}

} // namespace

HRESULT CompanionPipe::Create() noexcept
{
    UniqueLocal descriptor;
    RETURN_IF_FAILED(CurrentUserOnly(descriptor));
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

bool CompanionPipe::Abandon(OVERLAPPED& operation) noexcept
{
    // The operation refers to `operation` until it ends: cancel, then wait for the end.
    ::CancelIoEx(pipe_.get(), &operation);
    DWORD bytes = 0;
    return ::GetOverlappedResult(pipe_.get(), &operation, &bytes, TRUE) != FALSE;
}

HRESULT CompanionPipe::WaitForClient(HANDLE companion, ModalWait& wait) noexcept
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
    if (signalled == 0)
    {
        DWORD bytes = 0;
        return ::GetOverlappedResult(pipe_.get(), &operation, &bytes, FALSE) ? S_OK
                                                                             : HRESULT_FROM_WIN32(::GetLastError());
    }
    if (Abandon(operation))
        return S_OK; // it connected just before it exited, or before the quit; Serve() sees the rest
    return signalled == 1 || signalled == ModalWait::kQuit ? S_FALSE : HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE);
}

bool CompanionPipe::ReadMessage(ModalWait& wait, DWORD& message) noexcept
{
    BYTE bytes[sizeof(DWORD)];
    DWORD have = 0;
    while (have < sizeof(bytes))
    {
        OVERLAPPED operation = {};
        operation.hEvent = event_.get();
        if (!::ReadFile(pipe_.get(), bytes + have, sizeof(bytes) - have, nullptr, &operation))
        {
            if (::GetLastError() != ERROR_IO_PENDING)
                return false; // closed by the companion, or broken
            const HANDLE handle = event_.get();
            if (wait.Wait(&handle, 1) != 0)
            {
                Abandon(operation);
                return false;
            }
        }
        DWORD got = 0;
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
