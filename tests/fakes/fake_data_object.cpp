// The simulated shell data object: a "WIAItemNames" list, or the WIA item itself.
#include "fake_scanner.h"

#include <cstring>
#include <new>

namespace fakes
{

namespace
{
ComPtr<FakeDataObject> MakeDataObject(FakeDataObject* object)
{
    return ComPtr<FakeDataObject>(object); // takes the first reference
}
} // namespace

ComPtr<FakeDataObject> FakeDataObject::WithItemNames(const std::vector<std::wstring>& names)
{
    std::vector<wchar_t> block;
    for (const std::wstring& name : names)
    {
        block.insert(block.end(), name.begin(), name.end());
        block.push_back(L'\0');
    }
    block.push_back(L'\0');
    return WithRawItemNames(block);
}

ComPtr<FakeDataObject> FakeDataObject::WithRawItemNames(const std::vector<wchar_t>& block)
{
    ComPtr<FakeDataObject> object = MakeDataObject(new (std::nothrow) FakeDataObject());
    if (object)
    {
        object->hasNames_ = true;
        object->block_ = block;
    }
    return object;
}

ComPtr<FakeDataObject> FakeDataObject::ForItem(IWiaItem2* item)
{
    ComPtr<FakeDataObject> object = MakeDataObject(new (std::nothrow) FakeDataObject());
    if (object)
        object->item_ = item;
    return object;
}

ComPtr<FakeDataObject> FakeDataObject::Empty()
{
    return MakeDataObject(new (std::nothrow) FakeDataObject());
}

FakeDataObject::~FakeDataObject()
{
    for (HGLOBAL memory : keptMemory_)
        ::GlobalFree(memory);
}

IFACEMETHODIMP FakeDataObject::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDataObject))
    {
        *object = static_cast<IDataObject*>(this);
        AddRef();
        return S_OK;
    }
    // The item answers for the data object. COM's identity rules do not hold across the
    // two (the item knows nothing of IDataObject), which binding never relies on.
    if (item_ && IsEqualIID(iid, IID_IWiaItem2))
        return item_->QueryInterface(iid, object);
    return E_NOINTERFACE;
}

HRESULT FakeDataObject::CheckFormat(const FORMATETC* format) const
{
    if (!format)
        return E_INVALIDARG;
    if (!hasNames_ || format->cfFormat != ::RegisterClipboardFormatA("WIAItemNames"))
        return DV_E_FORMATETC;
    if (format->dwAspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    if (format->lindex != -1)
        return DV_E_LINDEX;
    if (!(format->tymed & TYMED_HGLOBAL))
        return DV_E_TYMED;
    return S_OK;
}

IFACEMETHODIMP FakeDataObject::GetData(FORMATETC* format, STGMEDIUM* medium)
{
    ++getDataCalls;
    if (format)
        lastRequest = *format;
    if (!medium)
        return E_POINTER;
    *medium = STGMEDIUM{};
    if (FAILED(getDataResult))
        return getDataResult;
    const HRESULT check = CheckFormat(format);
    if (FAILED(check))
        return check;

    const SIZE_T size = block_.size() * sizeof(wchar_t);
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, size ? size : 1);
    if (!memory)
        return E_OUTOFMEMORY;
    if (size)
    {
        void* data = ::GlobalLock(memory);
        std::memcpy(data, block_.data(), size);
        ::GlobalUnlock(memory);
    }
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = memory;
    if (keepsMedium)
    {
        keptMemory_.push_back(memory);
        medium->pUnkForRelease = static_cast<IDataObject*>(this);
        AddRef(); // given back when the caller releases the medium
    }
    return S_OK;
}

IFACEMETHODIMP FakeDataObject::QueryGetData(FORMATETC* format)
{
    return CheckFormat(format);
}

IFACEMETHODIMP FakeDataObject::GetDataHere(FORMATETC*, STGMEDIUM*)
{
    return E_NOTIMPL;
}

IFACEMETHODIMP FakeDataObject::GetCanonicalFormatEtc(FORMATETC*, FORMATETC*)
{
    return E_NOTIMPL;
}

IFACEMETHODIMP FakeDataObject::SetData(FORMATETC*, STGMEDIUM*, BOOL)
{
    return E_NOTIMPL;
}

IFACEMETHODIMP FakeDataObject::EnumFormatEtc(DWORD, IEnumFORMATETC**)
{
    return E_NOTIMPL;
}

IFACEMETHODIMP FakeDataObject::DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*)
{
    return OLE_E_ADVISENOTSUPPORTED;
}

IFACEMETHODIMP FakeDataObject::DUnadvise(DWORD)
{
    return OLE_E_ADVISENOTSUPPORTED;
}

IFACEMETHODIMP FakeDataObject::EnumDAdvise(IEnumSTATDATA**)
{
    return OLE_E_ADVISENOTSUPPORTED;
}

} // namespace fakes
