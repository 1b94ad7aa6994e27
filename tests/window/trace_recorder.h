// What the DLL hands the platform's event tracing, recorded instead of sent, and decoded by
// the TraceLogging layout as the platform documents it (written here apart from the DLL's
// encoder, so that an encoder and decoder wrong in the same way cannot agree).
#pragma once

#include <windows.h>
#include <evntprov.h>
#include <winternl.h>

#include <string>
#include <vector>

namespace testtrace
{

struct Registration
{
    GUID id;
    PENABLECALLBACK callback;
    void* context;
    REGHANDLE handle;
};

// One event as decoded: provider and event names from the metadata, the descriptor's level,
// keyword and channel, and each field as "Name:InType[/OutType]=value".
struct Event
{
    std::string provider, name;
    UCHAR level = 0, channel = 0;
    ULONGLONG keyword = 0;
    std::vector<std::string> fields;
    std::string error; // what did not decode; empty when all did
};

// Every registration of a module named uiext2*.dll loaded from now on, its events and its
// unregistrations: the loader's notification points the module's imports of EventRegister,
// EventWriteTransfer and EventUnregister at recorders before its entry point runs.
void StartRecording();
const std::vector<Registration>& Registrations();
const std::vector<REGHANDLE>& Unregistered();

// The events recorded since the last call, decoded, and forgotten.
std::vector<Event> TakeEvents();

// Calls the registration's enable callback as the platform does when a trace asks for
// (level, keywords), or (`enable` false) when the last trace stops.
void Enable(const Registration& registration, bool enable, UCHAR level = 0, ULONGLONG anyKeyword = 0);

} // namespace testtrace
