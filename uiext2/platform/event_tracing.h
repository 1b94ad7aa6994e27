// Event-tracing declarations that MinGW-w64's evntprov.h lacks: the descriptor types of
// self-describing events, the information class that sets a provider's traits, and the
// channel and levels that winmeta.h (absent from MinGW-w64) names.
#pragma once

#include <windows.h>
#include <evntprov.h>

namespace platform
{

// EVENT_DATA_DESCRIPTOR's Type, the low byte of what MinGW-w64 declares as one ULONG
// Reserved (the platform's union of UCHAR Type, UCHAR Reserved1, USHORT Reserved2).
constexpr ULONG kEventDataDescriptorTypeNone = 0;
constexpr ULONG kEventDataDescriptorTypeEventMetadata = 1;
constexpr ULONG kEventDataDescriptorTypeProviderMetadata = 2;

// EVENT_INFO_CLASS value of EventProviderSetTraits (Windows 8 and later): sets the
// provider's traits and makes the platform honour the descriptors' Type.
constexpr int kEventProviderSetTraits = 2;

// EventSetInformation, looked up at run time: this project targets Windows 7, where
// advapi32 does not export it (and a static import would keep the DLL from loading).
using EventSetInformationFunction = ULONG(WINAPI*)(REGHANDLE, int, PVOID, ULONG);

// The enable callback's IsEnabled values.
constexpr ULONG kEventControlDisable = 0;
constexpr ULONG kEventControlEnable = 1;
constexpr ULONG kEventControlCaptureState = 2;

// The channel that tells decoders an event carries TraceLogging metadata.
constexpr UCHAR kChannelTraceLogging = 11;

// Levels as winmeta.h numbers them.
constexpr UCHAR kLevelError = 2;
constexpr UCHAR kLevelWarning = 3;
constexpr UCHAR kLevelInformation = 4;
constexpr UCHAR kLevelVerbose = 5;

} // namespace platform
