// Recorders for the DLL's event-tracing imports, and the decoder of what they recorded.
#include "trace_recorder.h"

#include "import_patch.h"

#include <cstdio>
#include <cstring>

namespace testtrace
{

namespace
{

struct Written
{
    EVENT_DESCRIPTOR descriptor;
    std::vector<std::pair<UCHAR, std::string>> data; // each descriptor's type and bytes
};

std::vector<Registration> g_registrations;
std::vector<REGHANDLE> g_unregistered;
std::vector<Written> g_written;

ULONG WINAPI RecordRegister(LPCGUID id, PENABLECALLBACK callback, PVOID context, PREGHANDLE handle)
{
    *handle = 0x7E570000 + g_registrations.size();
    g_registrations.push_back({*id, callback, context, *handle});
    return ERROR_SUCCESS;
}

ULONG WINAPI RecordUnregister(REGHANDLE handle)
{
    g_unregistered.push_back(handle);
    return ERROR_SUCCESS;
}

ULONG WINAPI RecordWrite(REGHANDLE, PCEVENT_DESCRIPTOR descriptor, LPCGUID, LPCGUID, ULONG count,
                         PEVENT_DATA_DESCRIPTOR data)
{
    Written written{*descriptor, {}};
    for (ULONG i = 0; i < count; ++i)
        written.data.emplace_back(static_cast<UCHAR>(data[i].Reserved & 0xFF),
                                  std::string(reinterpret_cast<const char*>(data[i].Ptr), data[i].Size));
    g_written.push_back(written);
    return ERROR_SUCCESS;
}

// The layout's loader notification types (ntdll's, declared by no MinGW-w64 header).
struct DllNotification
{
    ULONG flags;
    const UNICODE_STRING* fullName;
    const UNICODE_STRING* baseName;
    void* base;
    ULONG size;
};
using DllNotificationFunction = void(CALLBACK*)(ULONG reason, const DllNotification* data, void* context);
using RegisterNotification = LONG(NTAPI*)(ULONG flags, DllNotificationFunction function, void* context, void** cookie);

// Wine binds a module's imports before it sends this notification and runs the module's
// entry point after it, so the patched slots are what DllMain calls; the test relies on that
// order, which is Wine's loader's.
void CALLBACK OnDllLoaded(ULONG reason, const DllNotification* data, void*)
{
    if (reason != 1 || ::_wcsnicmp(data->baseName->Buffer, L"uiext2", 6) != 0) // uiext2.dll, or a copy
        return;
    const auto module = static_cast<HMODULE>(data->base);
    uiext2_test::RedirectImport(module, "advapi32.dll", "EventRegister", reinterpret_cast<void*>(&RecordRegister));
    uiext2_test::RedirectImport(module, "advapi32.dll", "EventUnregister", reinterpret_cast<void*>(&RecordUnregister));
    uiext2_test::RedirectImport(module, "advapi32.dll", "EventWriteTransfer", reinterpret_cast<void*>(&RecordWrite));
}

// One NUL-terminated text of the metadata, moved past.
std::string Name(const std::string& blob, size_t& at)
{
    const size_t end = blob.find('\0', at);
    const std::string name = blob.substr(at, end == std::string::npos ? std::string::npos : end - at);
    at = end == std::string::npos ? blob.size() : end + 1;
    return name;
}

unsigned Size16(const std::string& blob)
{
    return blob.size() < 2 ? 0 : static_cast<unsigned char>(blob[0]) | static_cast<unsigned char>(blob[1]) << 8;
}

// One value of in-type `in` from the payload, as text; false when the payload is too short.
bool Value(UCHAR in, UCHAR out, const std::string& payload, size_t& at, std::string& text)
{
    if (in == 1) // UTF-16 to its terminator, shown as UTF-8 whatever this process's code page
    {
        std::wstring wide;
        for (; at + 1 < payload.size() && (payload[at] || payload[at + 1]); at += 2)
            wide += static_cast<wchar_t>(static_cast<unsigned char>(payload[at]) |
                                         static_cast<unsigned char>(payload[at + 1]) << 8);
        char utf8[1024] = "";
        ::WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, utf8, sizeof utf8, nullptr, nullptr);
        text = utf8;
        return (at += 2) <= payload.size();
    }
    if (in == 2)
    {
        text = Name(payload, at);
        return true;
    }
    const size_t size = in == 10 ? 8 : 4;
    if ((in != 7 && in != 8 && in != 10 && in != 13 && in != 20) || payload.size() - at < size)
        return false;
    UINT64 value = 0;
    std::memcpy(&value, payload.data() + at, size);
    at += size;
    char hex[16];
    std::snprintf(hex, sizeof(hex), "0x%08X", static_cast<unsigned>(value));
    if (in == 13)
        text = value ? "true" : "false";
    else
        text = in == 20 || out == 15 ? hex
               : in == 7             ? std::to_string(static_cast<INT32>(value))
                                     : std::to_string(value);
    return true;
}

// Provider traits: UINT16 size (itself included), the provider's name; event metadata:
// UINT16 size, tag bytes (each with the high bit set chains one more), the event's name,
// then per field its name, its in-type (high bit: an out-type follows), the out-type (high
// bit: field tags follow), the tag bytes.
Event Decode(const Written& written)
{
    Event event;
    event.level = written.descriptor.Level;
    event.channel = written.descriptor.Channel;
    event.keyword = written.descriptor.Keyword;
    if (written.data.size() < 2 || written.data[0].first != 2 || written.data[1].first != 1)
    {
        event.error = "the first two descriptors are not provider and event metadata";
        return event;
    }
    const std::string& traits = written.data[0].second;
    const std::string& metadata = written.data[1].second;
    size_t at = 2;
    event.provider = Name(traits, at);
    if (Size16(traits) != traits.size() || Size16(metadata) != metadata.size() || at != traits.size())
        event.error = "a size does not match its blob";
    at = 2;
    while (at < metadata.size() && (metadata[at] & 0x80))
        ++at;
    ++at; // the last tag byte
    event.name = Name(metadata, at);
    std::string payload;
    for (size_t i = 2; i < written.data.size(); ++i)
        payload += written.data[i].first == 0 ? written.data[i].second : std::string();
    size_t valueAt = 0;
    while (at < metadata.size() && event.error.empty())
    {
        const std::string field = Name(metadata, at);
        const UCHAR in = at < metadata.size() ? static_cast<UCHAR>(metadata[at++]) : 0;
        UCHAR out = 0;
        if (in & 0x80)
            out = at < metadata.size() ? static_cast<UCHAR>(metadata[at++]) : 0;
        while ((out & 0x80) && at < metadata.size() && (metadata[at++] & 0x80))
            ; // field tags
        std::string text;
        if (!Value(static_cast<UCHAR>(in & 0x7F), static_cast<UCHAR>(out & 0x7F), payload, valueAt, text))
            event.error = "field " + field + " does not decode";
        char types[16];
        std::snprintf(types, sizeof(types), (in & 0x80) ? ":%u/%u=" : ":%u=", in & 0x7F, out & 0x7F);
        event.fields.push_back(field + types + text);
    }
    if (event.error.empty() && valueAt != payload.size())
        event.error = "payload left over";
    return event;
}

} // namespace

void StartRecording()
{
    void* cookie = nullptr;
    const auto registerNotification = reinterpret_cast<RegisterNotification>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "LdrRegisterDllNotification")));
    if (registerNotification)
        registerNotification(0, OnDllLoaded, nullptr, &cookie);
}

const std::vector<Registration>& Registrations()
{
    return g_registrations;
}

const std::vector<REGHANDLE>& Unregistered()
{
    return g_unregistered;
}

std::vector<Event> TakeEvents()
{
    std::vector<Event> events;
    for (const Written& written : g_written)
        events.push_back(Decode(written));
    g_written.clear();
    return events;
}

void Enable(const Registration& registration, bool enable, UCHAR level, ULONGLONG anyKeyword)
{
    registration.callback(&registration.id, enable ? 1 : 0, level, anyKeyword, 0, nullptr, registration.context);
}

} // namespace testtrace
