// One move-only owner for every kind of platform handle, and an alias per kind.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <wincrypt.h>

#include <utility>

namespace uiext2
{

// Traits supply: using pointer = ...; static pointer invalid(); static void close(pointer).
template <typename Traits> class Unique
{
public:
    using pointer = typename Traits::pointer;

    Unique() noexcept = default;
    explicit Unique(pointer value) noexcept : value_(value) {}
    ~Unique() { reset(); }

    Unique(Unique&& other) noexcept : value_(other.release()) {}
    Unique& operator=(Unique&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;

    pointer get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Traits::invalid(); }

    // For out-parameters: closes what is held, then hands out the slot.
    pointer* put() noexcept
    {
        reset();
        return &value_;
    }

    pointer release() noexcept { return std::exchange(value_, Traits::invalid()); }

    void reset(pointer value = Traits::invalid()) noexcept
    {
        pointer old = std::exchange(value_, value);
        if (old != Traits::invalid())
            Traits::close(old);
    }

private:
    pointer value_ = Traits::invalid();
};

template <typename T, T Invalid, auto Close> struct HandleTraits
{
    using pointer = T;
    static constexpr pointer invalid() noexcept { return Invalid; }
    static void close(pointer value) noexcept { Close(value); }
};

// INVALID_HANDLE_VALUE is not a constant expression, so those handles get traits of their own.
template <auto Close> struct InvalidValueTraits
{
    using pointer = HANDLE;
    static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(pointer value) noexcept { Close(value); }
};

inline void ReleaseCryptContext(HCRYPTPROV provider) noexcept
{
    ::CryptReleaseContext(provider, 0);
}
inline void CloseMutex(HANDLE mutex) noexcept
{
    // A mutex that is not owned refuses the release; closing is what counts.
    ::ReleaseMutex(mutex);
    ::CloseHandle(mutex);
}

using UniqueHandle = Unique<HandleTraits<HANDLE, nullptr, ::CloseHandle>>;
using UniqueFile = Unique<InvalidValueTraits<::CloseHandle>>; // CreateFile, CreateNamedPipe
using UniqueFind = Unique<InvalidValueTraits<::FindClose>>;
using UniqueLocal = Unique<HandleTraits<HLOCAL, nullptr, ::LocalFree>>; // LocalAlloc'd by the platform
using UniqueMutex = Unique<HandleTraits<HANDLE, nullptr, CloseMutex>>;
using UniqueHKey = Unique<HandleTraits<HKEY, nullptr, ::RegCloseKey>>;
using UniqueHGlobal = Unique<HandleTraits<HGLOBAL, nullptr, ::GlobalFree>>;
using UniqueGdiObject = Unique<HandleTraits<HGDIOBJ, nullptr, ::DeleteObject>>;
using UniqueMemoryDc = Unique<HandleTraits<HDC, nullptr, ::DeleteDC>>; // CreateCompatibleDC
using UniqueCryptProvider = Unique<HandleTraits<HCRYPTPROV, 0, ReleaseCryptContext>>;
using UniqueCryptHash = Unique<HandleTraits<HCRYPTHASH, 0, ::CryptDestroyHash>>;
using UniqueCryptKey = Unique<HandleTraits<HCRYPTKEY, 0, ::CryptDestroyKey>>;
using UniqueBstr = Unique<HandleTraits<BSTR, nullptr, ::SysFreeString>>;
// Holds the caller's STGMEDIUM record that IDataObject::GetData filled, and releases the
// medium by the platform's rules (its memory, or its owner's reference) at scope end.
using UniqueStgMedium = Unique<HandleTraits<STGMEDIUM*, nullptr, ::ReleaseStgMedium>>;

// GlobalLock for the length of a scope.
class GlobalLockScope
{
public:
    explicit GlobalLockScope(HGLOBAL memory) noexcept : memory_(memory), data_(memory ? ::GlobalLock(memory) : nullptr)
    {
    }
    ~GlobalLockScope()
    {
        if (data_)
            ::GlobalUnlock(memory_);
    }
    GlobalLockScope(const GlobalLockScope&) = delete;
    GlobalLockScope& operator=(const GlobalLockScope&) = delete;

    void* data() const noexcept { return data_; }
    SIZE_T size() const noexcept { return data_ ? ::GlobalSize(memory_) : 0; }

private:
    HGLOBAL memory_;
    void* data_;
};

// An object selected into a device context for the length of a scope; the previous one is
// selected back before the context or the object can be deleted.
class SelectedObject
{
public:
    SelectedObject(HDC dc, HGDIOBJ object) noexcept
        : dc_(dc), previous_(dc && object ? ::SelectObject(dc, object) : nullptr)
    {
    }
    ~SelectedObject()
    {
        if (previous_)
            ::SelectObject(dc_, previous_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// BeginPaint and EndPaint around a scope.
class PaintScope
{
public:
    explicit PaintScope(HWND window) noexcept : window_(window), dc_(::BeginPaint(window, &paint_)) {}
    ~PaintScope() { ::EndPaint(window_, &paint_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;

    HDC dc() const noexcept { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

// A process and its first thread, both closed together.
class UniqueProcessInformation
{
public:
    UniqueProcessInformation() noexcept = default;
    ~UniqueProcessInformation() { reset(); }
    UniqueProcessInformation(const UniqueProcessInformation&) = delete;
    UniqueProcessInformation& operator=(const UniqueProcessInformation&) = delete;

    PROCESS_INFORMATION* put() noexcept
    {
        reset();
        return &info_;
    }
    HANDLE process() const noexcept { return info_.hProcess; }

    void reset() noexcept
    {
        if (info_.hThread)
            ::CloseHandle(info_.hThread);
        if (info_.hProcess)
            ::CloseHandle(info_.hProcess);
        info_ = PROCESS_INFORMATION{};
    }

private:
    PROCESS_INFORMATION info_{};
};

} // namespace uiext2
