// The image dialog of IWiaUIExtension2::DeviceDialog: a run of the companion program that
// downloads every page it reports into the application's folder.
#pragma once

#include "platform/wia2.h"

namespace uiext2
{

// One run, on the caller's thread, for as long as the companion scans. S_FALSE at once
// when another run of this logon is active; E_INVALIDARG without a record or root item;
// the platform's error when the pipe cannot be made or the companion cannot be started
// (the run has then cleaned up); S_OK otherwise, whatever became of single pages.
HRESULT RunScanDialog(DEVICEDIALOGDATA2* data) noexcept;

} // namespace uiext2
