// The scanner's identity as its WIA root item reports it, converted to ANSI.
#pragma once

#include "platform/wia2.h"

namespace uiext2
{

struct DeviceIdentity
{
    char modelName[64];       // Scanner1/Model; empty when the driver gives none that fits
    char firmwareVersion[32]; // shown as "Version %s"; empty when none that fits
    char deviceName[68];      // names the settings folder; always read and converted whole
};

// Reads the model name, firmware version and device name in one ReadMultiple call.
// Fails, leaving `identity` unchanged, when the item has no property storage (the query's
// error), when ReadMultiple fails (its error), when the device name is missing or not a
// string (HRESULT_FROM_WIN32(ERROR_INVALID_DATA)), or when it does not fit its 68 bytes
// (HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER)). A model name or firmware version that
// is missing, not a string or too long is left empty: no text is ever cut short.
HRESULT ReadDeviceIdentity(IWiaItem2* root, DeviceIdentity& identity) noexcept;

} // namespace uiext2
