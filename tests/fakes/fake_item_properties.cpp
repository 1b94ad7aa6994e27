// The simulated scanner's property storage: ReadMultiple over an item's property list.
#include "fake_scanner.h"

#include <oleauto.h>

namespace fakes
{

IFACEMETHODIMP FakeItem::ReadMultiple(ULONG count, const PROPSPEC specs[], PROPVARIANT values[])
{
    std::string call = "ReadMultiple";
    for (ULONG i = 0; specs && i < count; ++i)
        call += specs[i].ulKind == PRSPEC_PROPID ? " " + std::to_string(specs[i].propid) : std::string(" (by name)");
    calls.push_back(call);

    if (count > 0 && (!specs || !values))
        return STG_E_INVALIDPOINTER;
    for (ULONG i = 0; i < count; ++i)
        ::PropVariantInit(&values[i]);
    if (FAILED(readMultipleResult))
        return readMultipleResult;

    // As IPropertyStorage: a property the item lacks comes back VT_EMPTY, and S_FALSE says
    // that none of those asked exists.
    ULONG found = 0;
    for (ULONG i = 0; i < count; ++i)
    {
        const FakeProperty* property = specs[i].ulKind == PRSPEC_PROPID ? Find(specs[i].propid) : nullptr;
        if (!property)
            continue;
        ++found;
        if (property->type == VT_I4)
        {
            values[i].vt = VT_I4;
            values[i].lVal = property->number;
            continue;
        }
        if (property->type == VT_CLSID)
        {
            values[i].puuid = static_cast<CLSID*>(::CoTaskMemAlloc(sizeof(CLSID)));
            if (!values[i].puuid)
            {
                ::FreePropVariantArray(count, values);
                return E_OUTOFMEMORY;
            }
            values[i].vt = VT_CLSID;
            *values[i].puuid = property->guid;
            continue;
        }
        values[i].vt = VT_BSTR;
        values[i].bstrVal = property->nullBstr ? nullptr : ::SysAllocString(property->text.c_str());
        if (!property->nullBstr && !values[i].bstrVal)
        {
            ::FreePropVariantArray(count, values);
            return E_OUTOFMEMORY;
        }
    }
    return found ? S_OK : S_FALSE;
}

IFACEMETHODIMP FakeItem::GetCount(ULONG* count)
{
    calls.push_back("PropertyCount");
    if (!count)
        return E_POINTER;
    *count = static_cast<ULONG>(properties.size());
    return S_OK;
}

// This system never writes properties; a driver double that accepted writes would hide a
// call that must not happen. Each is recorded, then refused.
IFACEMETHODIMP FakeItem::WriteMultiple(ULONG, const PROPSPEC[], const PROPVARIANT[], PROPID)
{
    calls.push_back("WriteMultiple");
    return E_NOTIMPL;
}

IFACEMETHODIMP FakeItem::DeleteMultiple(ULONG, const PROPSPEC[])
{
    calls.push_back("DeleteMultiple");
    return E_NOTIMPL;
}

IFACEMETHODIMP FakeItem::ReadPropertyNames(ULONG, const PROPID[], LPOLESTR[])
{
    return E_NOTIMPL;
}

IFACEMETHODIMP FakeItem::WritePropertyNames(ULONG, const PROPID[], const LPOLESTR[])
{
    calls.push_back("WritePropertyNames");
    return E_NOTIMPL;
}

IFACEMETHODIMP FakeItem::DeletePropertyNames(ULONG, const PROPID[])
{
    calls.push_back("DeletePropertyNames");
    return E_NOTIMPL;
}

IFACEMETHODIMP FakeItem::Commit(DWORD)
{
    return E_NOTIMPL;
}

IFACEMETHODIMP FakeItem::Revert()
{
    return E_NOTIMPL;
}

IFACEMETHODIMP FakeItem::Enum(IEnumSTATPROPSTG**)
{
    return E_NOTIMPL;
}

IFACEMETHODIMP FakeItem::SetTimes(const FILETIME*, const FILETIME*, const FILETIME*)
{
    return E_NOTIMPL;
}

IFACEMETHODIMP FakeItem::SetClass(REFCLSID)
{
    return E_NOTIMPL;
}

IFACEMETHODIMP FakeItem::Stat(STATPROPSETSTG*)
{
    return E_NOTIMPL;
}

IFACEMETHODIMP FakeItem::GetPropertyAttributes(ULONG, PROPSPEC[], ULONG[], PROPVARIANT[])
{
    return E_NOTIMPL;
}

IFACEMETHODIMP FakeItem::GetPropertyStream(GUID*, IStream**)
{
    return E_NOTIMPL;
}

IFACEMETHODIMP FakeItem::SetPropertyStream(GUID*, IStream*)
{
    calls.push_back("SetPropertyStream");
    return E_NOTIMPL;
}

} // namespace fakes
