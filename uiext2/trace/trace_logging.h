// Self-describing events through the platform's event tracing, in the TraceLogging layout:
// one provider registered under the GUID derived from its name, its enabled state kept by
// its enable callback, and each event written by EventWriteTransfer with the provider's
// traits and the event's metadata (name, field names and types) as its first two data
// descriptors, so that the system's decoders show it without a manifest.
#pragma once

#include "trace/provider_identity.h"

#include <windows.h>
#include <evntprov.h>

namespace uiext2
{

// Field in-types (how a value is encoded) and out-types (how a decoder shows it) of the
// layout, those this library writes.
enum TraceInType : UCHAR
{
    kTraceInUnicodeString = 1, // NUL-terminated UTF-16
    kTraceInAnsiString = 2,    // NUL-terminated 8-bit text (ASCII here)
    kTraceInInt32 = 7,
    kTraceInUInt32 = 8,
    kTraceInUInt64 = 10,
    kTraceInBool32 = 13,
    kTraceInHexInt32 = 20,
};

enum TraceOutType : UCHAR
{
    kTraceOutDefault = 0, // the in-type's own
    kTraceOutPid = 5,
    kTraceOutWin32Error = 13,
    kTraceOutHResult = 15,
};

struct TraceField
{
    const char* name;
    UCHAR inType;
    UCHAR outType;
};

// An event's name and fields, from which its metadata is composed as it is written.
struct TraceEventSchema
{
    const char* name;
    const TraceField* fields;
    UCHAR fieldCount;
};

// One field's value as the event carries it; the data must outlive the write.
struct TraceValue
{
    const void* data;
    ULONG size;
};

inline TraceValue TraceBytes(const void* data, ULONG size) noexcept
{
    return {data, size};
}
TraceValue TraceText(const char* text) noexcept;    // its terminator included
TraceValue TraceText(const wchar_t* text) noexcept; // likewise

class TraceProvider
{
public:
    // `identity` names the provider for the platform's trace programs, with its GUID.
    explicit TraceProvider(const trace::ProviderIdentity& identity) noexcept
        : name_(identity.name), id_{identity.data1,
                                    identity.data2,
                                    identity.data3,
                                    {identity.data4[0], identity.data4[1], identity.data4[2], identity.data4[3],
                                     identity.data4[4], identity.data4[5], identity.data4[6], identity.data4[7]}}
    {
    }
    TraceProvider(const TraceProvider&) = delete;
    TraceProvider& operator=(const TraceProvider&) = delete;

    // EventRegister, then the provider's traits. ERROR_SUCCESS or the platform's error; the
    // provider stays disabled when registration fails.
    ULONG Register() noexcept;
    // EventUnregister: before the module's code goes, since the callback points into it.
    void Unregister() noexcept;

    const GUID& Id() const noexcept { return id_; }

    // The test every event begins with. While nobody traces it is one load of a flag: what
    // the enable callback asked for is looked at only once some trace does.
    bool Enabled(UCHAR level, ULONGLONG keyword) const noexcept { return enabled_ != 0 && Accepts(level, keyword); }

    // Writes one event of `schema` with `values` (one per field, in order). Call only after
    // Enabled said yes; an event whose metadata would not fit 512 bytes is not written.
    void Write(UCHAR level, ULONGLONG keyword, const TraceEventSchema& schema, const TraceValue* values) noexcept;

private:
    static void NTAPI OnEnable(LPCGUID source, ULONG control, UCHAR level, ULONGLONG anyKeyword, ULONGLONG allKeyword,
                               PEVENT_FILTER_DESCRIPTOR filter, PVOID context) noexcept;
    bool Accepts(UCHAR level, ULONGLONG keyword) const noexcept;

    static constexpr ULONG kMaxTraits = 128;
    const char* name_;
    GUID id_{};
    REGHANDLE handle_ = 0;
    volatile LONG enabled_ = 0;
    UCHAR level_ = 0;
    ULONGLONG anyKeyword_ = 0;
    ULONGLONG allKeyword_ = 0;
    BYTE traits_[kMaxTraits] = {};
    USHORT traitsSize_ = 0;
};

} // namespace uiext2
