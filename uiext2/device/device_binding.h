// Binding the extension object to the scanner's WIA root item (IShellExtInit::Initialize).
#pragma once

#include "platform/wia2.h"

#include <objidl.h>
#include <wrl/client.h>

namespace uiext2
{

// Binds `root` to the scanner that `dataObject` stands for, checks it, reads its
// identity and prepares its settings folder.
HRESULT BindDevice(IDataObject* dataObject, Microsoft::WRL::ComPtr<IWiaItem2>& root) noexcept;

} // namespace uiext2
