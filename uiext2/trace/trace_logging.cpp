// The TraceLogging layout of provider traits and event metadata, and the provider's
// registration and enabled state.
#include "trace/trace_logging.h"

#include "platform/event_tracing.h"

#include <cstring>
#include <cwchar>

namespace uiext2
{

namespace
{

constexpr ULONG kMaxMetadata = 512;
constexpr UCHAR kMaxFields = 16;
constexpr UCHAR kChain = 0x80; // in an in-type: an out-type follows

EVENT_DATA_DESCRIPTOR Descriptor(const void* data, ULONG size, ULONG type) noexcept
{
    EVENT_DATA_DESCRIPTOR descriptor;
    descriptor.Ptr = reinterpret_cast<ULONG_PTR>(data);
    descriptor.Size = size;
    descriptor.Reserved = type; // Type is the union's first byte
    return descriptor;
}

// Appends a NUL-terminated name; false when it would not fit.
bool AddName(BYTE* metadata, ULONG& at, const char* name) noexcept
{
    const size_t size = std::strlen(name) + 1;
    if (size > kMaxMetadata - at)
        return false;
    std::memcpy(metadata + at, name, size);
    at += static_cast<ULONG>(size);
    return true;
}

// Event metadata: its total size (UINT16, itself included), the event's tags (one byte, 0:
// none; the high bit of a tag byte would chain another), the event's name, then for each
// field its name, its in-type (with the chain bit when an out-type follows) and out-type.
ULONG ComposeMetadata(const TraceEventSchema& schema, BYTE (&metadata)[kMaxMetadata]) noexcept
{
    ULONG at = 2;
    metadata[at++] = 0;
    if (!AddName(metadata, at, schema.name))
        return 0;
    for (UCHAR i = 0; i < schema.fieldCount; ++i)
    {
        const TraceField& field = schema.fields[i];
        if (!AddName(metadata, at, field.name) || at + 2 > kMaxMetadata)
            return 0;
        metadata[at++] = field.outType != kTraceOutDefault ? static_cast<BYTE>(field.inType | kChain) : field.inType;
        if (field.outType != kTraceOutDefault)
            metadata[at++] = field.outType;
    }
    metadata[0] = static_cast<BYTE>(at & 0xFF);
    metadata[1] = static_cast<BYTE>(at >> 8);
    return at;
}

} // namespace

TraceValue TraceText(const char* text) noexcept
{
    return {text, static_cast<ULONG>(std::strlen(text) + 1)};
}

TraceValue TraceText(const wchar_t* text) noexcept
{
    return {text, static_cast<ULONG>((std::wcslen(text) + 1) * sizeof(wchar_t))};
}

ULONG TraceProvider::Register() noexcept
{
    if (handle_)
        return ERROR_SUCCESS;
    // The traits: their total size (UINT16, itself included) and the provider's name; no
    // further trait (such as a provider group).
    const size_t nameSize = std::strlen(name_) + 1;
    if (nameSize > kMaxTraits - 2)
        return ERROR_INVALID_PARAMETER;
    traitsSize_ = static_cast<USHORT>(2 + nameSize);
    traits_[0] = static_cast<BYTE>(traitsSize_ & 0xFF);
    traits_[1] = static_cast<BYTE>(traitsSize_ >> 8);
    std::memcpy(traits_ + 2, name_, nameSize);

    const ULONG error = ::EventRegister(&id_, OnEnable, this, &handle_);
    if (error != ERROR_SUCCESS)
    {
        handle_ = 0;
        return error;
    }
    // Where the platform has it (Windows 8 and later), the traits go with the registration
    // and the platform honours the descriptors' types; before that each event's first two
    // descriptors still carry them, at the start of the payload, where decoders of channel
    // 11 look for them.
    const auto setInformation = reinterpret_cast<platform::EventSetInformationFunction>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"advapi32.dll"), "EventSetInformation")));
    if (setInformation)
        setInformation(handle_, platform::kEventProviderSetTraits, traits_, traitsSize_);
    return ERROR_SUCCESS;
}

void TraceProvider::Unregister() noexcept
{
    if (!handle_)
        return;
    enabled_ = 0;
    ::EventUnregister(handle_);
    handle_ = 0;
}

void NTAPI TraceProvider::OnEnable(LPCGUID, ULONG control, UCHAR level, ULONGLONG anyKeyword, ULONGLONG allKeyword,
                                   PEVENT_FILTER_DESCRIPTOR, PVOID context) noexcept
{
    auto* provider = static_cast<TraceProvider*>(context);
    if (control == platform::kEventControlEnable)
    {
        // What the running traces ask for together, as the platform combines it.
        provider->level_ = level;
        provider->anyKeyword_ = anyKeyword;
        provider->allKeyword_ = allKeyword;
        ::InterlockedExchange(&provider->enabled_, 1);
    }
    else if (control == platform::kEventControlDisable)
        ::InterlockedExchange(&provider->enabled_, 0);
    // kEventControlCaptureState: this provider keeps no state to report again.
}

bool TraceProvider::Accepts(UCHAR level, ULONGLONG keyword) const noexcept
{
    // As the platform's own test reads it: a trace asking for level 0 takes every level; an
    // event without keywords goes to every trace; a trace that names no keyword takes them
    // all.
    if (level_ != 0 && level > level_)
        return false;
    return keyword == 0 ||
           ((anyKeyword_ == 0 || (keyword & anyKeyword_) != 0) && (keyword & allKeyword_) == allKeyword_);
}

void TraceProvider::Write(UCHAR level, ULONGLONG keyword, const TraceEventSchema& schema,
                          const TraceValue* values) noexcept
{
    BYTE metadata[kMaxMetadata];
    const ULONG metadataSize = ComposeMetadata(schema, metadata);
    if (metadataSize == 0 || schema.fieldCount > kMaxFields)
        return;
    EVENT_DATA_DESCRIPTOR data[2 + kMaxFields];
    data[0] = Descriptor(traits_, traitsSize_, platform::kEventDataDescriptorTypeProviderMetadata);
    data[1] = Descriptor(metadata, metadataSize, platform::kEventDataDescriptorTypeEventMetadata);
    for (UCHAR i = 0; i < schema.fieldCount; ++i)
        data[2 + i] = Descriptor(values[i].data, values[i].size, platform::kEventDataDescriptorTypeNone);
    EVENT_DESCRIPTOR descriptor = {};
    descriptor.Channel = platform::kChannelTraceLogging;
    descriptor.Level = level;
    descriptor.Keyword = keyword;
    ::EventWriteTransfer(handle_, &descriptor, nullptr, nullptr, 2u + schema.fieldCount, data);
}

} // namespace uiext2
