// The stream of one page's file.
#include "scan/file_stream.h"

#include "device/own_folder.h"
#include "support/hresult.h"

#include <shlwapi.h>
#define STRSAFE_NO_DEPRECATE
#include <strsafe.h>

#include <cstring>
#include <new>

namespace uiext2
{

namespace
{

bool Gone(const wchar_t* path) noexcept
{
    if (::GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES)
        return false;
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

} // namespace

HRESULT FileStream::Create(const wchar_t* path, Microsoft::WRL::ComPtr<FileStream>& stream) noexcept
{
    stream.Reset();
    Microsoft::WRL::ComPtr<FileStream> made;
    RETURN_IF_FAILED(MakeObject(made));
    RETURN_IF_FAILED(::StringCchCopyW(made->path_, MAX_PATH, path));
    // DELETE access, to mark the file and clear the mark through this handle; no sharing,
    // so nobody else reads a page that is still being written.
    made->file_.reset(::CreateFileW(path, GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    RETURN_LAST_ERROR_IF(!made->file_);
    // Without the mark (a file system that refuses it) the file is deleted by its name if
    // the page fails.
    made->marked_ = SetDeletePending(made->file_.get(), true);
    stream = std::move(made);
    return S_OK;
}

HRESULT FileStream::Keep() noexcept
{
    RETURN_HR_IF(STG_E_REVERTED, !file_);
    if (marked_ && !SetDeletePending(file_.get(), false))
    {
        const HRESULT hr = HRESULT_FROM_WIN32(::GetLastError());
        (void)Discard(); // it goes with the handle, and nobody is told of it
        return hr;
    }
    marked_ = false;
    file_.reset();
    return S_OK;
}

HRESULT FileStream::Discard() noexcept
{
    if (!file_)
        return Gone(path_) ? S_OK : E_ACCESSDENIED;
    // POSIX semantics, where the file system has them, take the name away as this handle
    // closes, even while someone else (an indexer, a virus scanner) holds the file open for
    // its attributes, which no sharing mode refuses. Elsewhere, Wine among them, the name
    // stays until the last such handle closes, and that is reported.
    marked_ = MarkForDeletion(file_.get()) || marked_;
    file_.reset();
    if (!marked_)
        ::DeleteFileW(path_);
    return Gone(path_) ? S_OK : E_ACCESSDENIED;
}

IFACEMETHODIMP FileStream::QueryInterface(REFIID iid, void** object) noexcept
{
    static const QITAB table[] = {
        // One base: both interfaces sit at the object's start.
        {&IID_IStream, 0},
        {&IID_ISequentialStream, 0},
        {nullptr, 0},
    };
    return ::QISearch(this, table, iid, object);
}

IFACEMETHODIMP FileStream::Read(void* data, ULONG size, ULONG* read) noexcept
{
    if (read)
        *read = 0;
    RETURN_HR_IF(STG_E_INVALIDPOINTER, !data);
    RETURN_HR_IF(STG_E_REVERTED, !file_);
    DWORD done = 0;
    RETURN_LAST_ERROR_IF(!::ReadFile(file_.get(), data, size, &done, nullptr));
    if (read)
        *read = done;
    return S_OK; // fewer bytes at the end of the file, as memory streams answer
}

IFACEMETHODIMP FileStream::Write(const void* data, ULONG size, ULONG* written) noexcept
{
    if (written)
        *written = 0;
    RETURN_HR_IF(STG_E_INVALIDPOINTER, !data);
    RETURN_HR_IF(STG_E_REVERTED, !file_);
    DWORD done = 0;
    if (!::WriteFile(file_.get(), data, size, &done, nullptr))
    {
        const DWORD error = ::GetLastError();
        return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL ? STG_E_MEDIUMFULL
                                                                           : HRESULT_FROM_WIN32(error);
    }
    if (written)
        *written = done;
    return S_OK;
}

IFACEMETHODIMP FileStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) noexcept
{
    RETURN_HR_IF(STG_E_INVALIDFUNCTION, origin > STREAM_SEEK_END);
    RETURN_HR_IF(STG_E_REVERTED, !file_);
    // STREAM_SEEK_SET, _CUR and _END are FILE_BEGIN, _CURRENT and _END.
    LARGE_INTEGER moved = {};
    RETURN_LAST_ERROR_IF(!::SetFilePointerEx(file_.get(), move, &moved, origin));
    if (position)
        position->QuadPart = static_cast<ULONGLONG>(moved.QuadPart);
    return S_OK;
}

IFACEMETHODIMP FileStream::SetSize(ULARGE_INTEGER size) noexcept
{
    RETURN_HR_IF(STG_E_REVERTED, !file_);
    RETURN_HR_IF(STG_E_INVALIDFUNCTION, size.QuadPart > static_cast<ULONGLONG>(MAXLONGLONG));
    // The seek pointer stays where it was, as IStream asks.
    LARGE_INTEGER here = {};
    LARGE_INTEGER end = {};
    end.QuadPart = static_cast<LONGLONG>(size.QuadPart);
    RETURN_LAST_ERROR_IF(!::SetFilePointerEx(file_.get(), LARGE_INTEGER{}, &here, FILE_CURRENT));
    RETURN_LAST_ERROR_IF(!::SetFilePointerEx(file_.get(), end, nullptr, FILE_BEGIN));
    const BOOL resized = ::SetEndOfFile(file_.get());
    const DWORD error = ::GetLastError();
    ::SetFilePointerEx(file_.get(), here, nullptr, FILE_BEGIN);
    return resized ? S_OK : HRESULT_FROM_WIN32(error);
}

IFACEMETHODIMP FileStream::CopyTo(IStream* target, ULARGE_INTEGER size, ULARGE_INTEGER* read,
                                  ULARGE_INTEGER* written) noexcept
{
    if (read)
        read->QuadPart = 0;
    if (written)
        written->QuadPart = 0;
    RETURN_HR_IF(STG_E_INVALIDPOINTER, !target);
    BYTE buffer[16384];
    ULONGLONG left = size.QuadPart;
    while (left > 0)
    {
        ULONG got = 0;
        RETURN_IF_FAILED(Read(buffer, left < sizeof(buffer) ? static_cast<ULONG>(left) : sizeof(buffer), &got));
        if (got == 0)
            break;
        if (read)
            read->QuadPart += got;
        ULONG put = 0;
        RETURN_IF_FAILED(target->Write(buffer, got, &put));
        if (written)
            written->QuadPart += put;
        left -= got;
    }
    return S_OK;
}

IFACEMETHODIMP FileStream::Commit(DWORD) noexcept
{
    return file_ ? S_OK : STG_E_REVERTED;
}

IFACEMETHODIMP FileStream::Revert() noexcept
{
    return S_OK;
}

IFACEMETHODIMP FileStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) noexcept
{
    return STG_E_INVALIDFUNCTION;
}

IFACEMETHODIMP FileStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) noexcept
{
    return STG_E_INVALIDFUNCTION;
}

IFACEMETHODIMP FileStream::Stat(STATSTG* stat, DWORD flags) noexcept
{
    RETURN_HR_IF(STG_E_INVALIDPOINTER, !stat);
    *stat = STATSTG{};
    RETURN_HR_IF(STG_E_REVERTED, !file_);
    FILE_BASIC_INFO times = {};
    LARGE_INTEGER size = {};
    RETURN_LAST_ERROR_IF(!::GetFileInformationByHandleEx(file_.get(), FileBasicInfo, &times, sizeof(times)) ||
                         !::GetFileSizeEx(file_.get(), &size));
    if (!(flags & STATFLAG_NONAME))
    {
        const size_t bytes = (static_cast<size_t>(::lstrlenW(path_)) + 1) * sizeof(wchar_t);
        stat->pwcsName = static_cast<wchar_t*>(::CoTaskMemAlloc(bytes));
        RETURN_HR_IF(STG_E_INSUFFICIENTMEMORY, !stat->pwcsName);
        std::memcpy(stat->pwcsName, path_, bytes);
    }
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = static_cast<ULONGLONG>(size.QuadPart);
    const auto fileTime = [](const LARGE_INTEGER& t) { return FILETIME{t.LowPart, static_cast<DWORD>(t.HighPart)}; };
    stat->mtime = fileTime(times.LastWriteTime);
    stat->ctime = fileTime(times.CreationTime);
    stat->atime = fileTime(times.LastAccessTime);
    stat->grfMode = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
    return S_OK;
}

IFACEMETHODIMP FileStream::Clone(IStream** stream) noexcept
{
    if (stream)
        *stream = nullptr;
    return E_NOTIMPL;
}

} // namespace uiext2
