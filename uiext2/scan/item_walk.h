// The items an ItemsReady message announces: the children of the root's first folder item.
#pragma once

#include "platform/wia2.h"
#include "scan/scan_record.h"

namespace uiext2
{

// Transfers every child the root's first folder child presents now (enumerated with the
// folder category, as the driver lists them) into `record`. Failing enumeration calls end
// the walk; a failed item is left out and the walk goes on. Each failure is noted in the
// record, so that a run that saved nothing can say why.
void TransferWaitingItems(IWiaItem2* root, ScanRecord& record) noexcept;

} // namespace uiext2
