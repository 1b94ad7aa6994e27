// The simulated scanner's items: IWiaItem2 with its child enumerator, IWiaPropertyStorage
// and IWiaTransfer.
#include "fake_scanner.h"

#include <oleauto.h>

#include <algorithm>
#include <new>

namespace fakes
{

namespace
{

std::string CategoryName(const GUID* category)
{
    if (!category)
        return "all";
    if (IsEqualGUID(*category, WIA_CATEGORY_FOLDER))
        return "folder";
    if (IsEqualGUID(*category, WIA_CATEGORY_FLATBED))
        return "flatbed";
    if (IsEqualGUID(*category, WIA_CATEGORY_FEEDER))
        return "feeder";
    if (IsEqualGUID(*category, WIA_CATEGORY_ROOT))
        return "root";
    return "other";
}

// IEnumWiaItem2 over a snapshot of an item's children; records into that item.
class FakeEnum final : public IEnumWiaItem2, public Counted<FakeEnum>
{
public:
    FakeEnum(FakeItem* owner, std::vector<ComPtr<FakeItem>> items) : owner_(owner), items_(std::move(items)) {}

    IFACEMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IEnumWiaItem2))
            return E_NOINTERFACE;
        *object = static_cast<IEnumWiaItem2*>(this);
        AddRef();
        return S_OK;
    }
    IFACEMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    IFACEMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

    IFACEMETHODIMP Next(ULONG count, IWiaItem2** items, ULONG* fetched) override
    {
        owner_->calls.push_back("Next " + std::to_string(count));
        if (!items || (!fetched && count != 1))
            return E_POINTER;
        ULONG given = 0;
        while (given < count && position_ < items_.size())
        {
            if (position_ == owner_->nextFailsAt)
            {
                for (ULONG i = 0; i < given; ++i) // a failed call hands out nothing
                {
                    items[i]->Release();
                    items[i] = nullptr;
                }
                if (fetched)
                    *fetched = 0;
                return owner_->nextFailure;
            }
            items[given] = items_[position_].Get();
            items[given]->AddRef();
            ++given;
            ++position_;
        }
        if (fetched)
            *fetched = given;
        return given == count ? S_OK : S_FALSE;
    }
    IFACEMETHODIMP Skip(ULONG count) override
    {
        owner_->calls.push_back("Skip " + std::to_string(count));
        const std::size_t left = items_.size() - position_;
        position_ += std::min<std::size_t>(count, left);
        return count <= left ? S_OK : S_FALSE;
    }
    IFACEMETHODIMP Reset() override
    {
        owner_->calls.push_back("Reset");
        position_ = 0;
        return S_OK;
    }
    IFACEMETHODIMP Clone(IEnumWiaItem2**) override { return E_NOTIMPL; }
    IFACEMETHODIMP GetCount(ULONG* count) override
    {
        owner_->calls.push_back("GetCount");
        if (!count)
            return E_POINTER;
        *count = static_cast<ULONG>(items_.size());
        return S_OK;
    }

private:
    ComPtr<FakeItem> owner_;
    std::vector<ComPtr<FakeItem>> items_;
    std::size_t position_ = 0;
};

} // namespace

ComPtr<FakeItem> FakeItem::Make(LONG type, const GUID& category, const std::wstring& name)
{
    ComPtr<FakeItem> item(new (std::nothrow) FakeItem()); // takes the first reference
    if (!item)
        return item;
    item->type = type;
    item->category = category;
    item->listedUnder = category;
    item->name = name;
    item->fullItemName = name;
    return item;
}

int FakeItem::CallCount(const std::string& prefix) const
{
    return static_cast<int>(std::count_if(calls.begin(), calls.end(),
                                          [&](const std::string& call)
                                          { return call.compare(0, prefix.size(), prefix) == 0; }));
}

FakeProperty* FakeItem::Find(PROPID id)
{
    for (FakeProperty& property : properties)
        if (property.id == id)
            return &property;
    return nullptr;
}

void FakeItem::SetString(PROPID id, const std::wstring& text)
{
    Remove(id);
    properties.push_back(FakeProperty{id, VT_BSTR, text, false, 0});
}

void FakeItem::SetNullString(PROPID id)
{
    Remove(id);
    properties.push_back(FakeProperty{id, VT_BSTR, std::wstring(), true, 0});
}

void FakeItem::SetNumber(PROPID id, LONG number)
{
    Remove(id);
    properties.push_back(FakeProperty{id, VT_I4, std::wstring(), false, number});
}

void FakeItem::SetGuid(PROPID id, const GUID& guid)
{
    Remove(id);
    FakeProperty property{id, VT_CLSID, std::wstring(), false, 0};
    property.guid = guid;
    properties.push_back(property);
}

void FakeItem::Remove(PROPID id)
{
    properties.erase(std::remove_if(properties.begin(), properties.end(),
                                    [id](const FakeProperty& property) { return property.id == id; }),
                     properties.end());
}

// --- IUnknown ---------------------------------------------------------------------------

IFACEMETHODIMP FakeItem::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IWiaItem2))
        *object = static_cast<IWiaItem2*>(this);
    else if (IsEqualIID(iid, IID_IWiaPropertyStorage))
    {
        calls.push_back("QueryInterface IWiaPropertyStorage");
        if (answersPropertyStorage)
            *object = static_cast<IWiaPropertyStorage*>(this);
    }
    else if (IsEqualIID(iid, IID_IWiaTransfer))
    {
        calls.push_back("QueryInterface IWiaTransfer");
        if (type & wia2::ItemTypeTransfer)
            *object = static_cast<IWiaTransfer*>(this);
    }
    if (!*object)
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

// --- IWiaItem2 --------------------------------------------------------------------------

IFACEMETHODIMP FakeItem::EnumChildItems(const GUID* requested, IEnumWiaItem2** items)
{
    calls.push_back("EnumChildItems " + CategoryName(requested));
    if (!items)
        return E_POINTER;
    *items = nullptr;
    if (FAILED(enumChildItemsResult))
        return enumChildItemsResult;
    if (!trayFolder.empty())
        ListTray();

    std::vector<ComPtr<FakeItem>> listed;
    for (const ComPtr<FakeItem>& child : children)
        if (!requested || IsEqualGUID(*requested, child->listedUnder))
            listed.push_back(child);
    auto* enumerator = new (std::nothrow) FakeEnum(this, std::move(listed));
    if (!enumerator)
        return E_OUTOFMEMORY;
    enumerator->AddRef();
    *items = enumerator;
    return S_OK;
}

IFACEMETHODIMP FakeItem::GetItemCategory(GUID* itemCategory)
{
    calls.push_back("GetItemCategory");
    if (!itemCategory)
        return E_POINTER;
    *itemCategory = category;
    return S_OK;
}

IFACEMETHODIMP FakeItem::GetItemType(LONG* itemType)
{
    calls.push_back("GetItemType");
    if (!itemType)
        return E_POINTER;
    if (FAILED(getItemTypeResult))
        return getItemTypeResult;
    *itemType = type;
    return S_OK;
}

IFACEMETHODIMP FakeItem::CreateChildItem(LONG, LONG, BSTR, IWiaItem2**)
{
    calls.push_back("CreateChildItem");
    return E_NOTIMPL;
}

IFACEMETHODIMP FakeItem::DeleteItem(LONG)
{
    calls.push_back("DeleteItem");
    return E_NOTIMPL;
}

IFACEMETHODIMP FakeItem::FindItemByName(LONG, BSTR, IWiaItem2**)
{
    return E_NOTIMPL;
}

IFACEMETHODIMP FakeItem::DeviceDlg(LONG, HWND, BSTR, BSTR, LONG*, BSTR**, IWiaItem2**)
{
    return E_NOTIMPL;
}

IFACEMETHODIMP FakeItem::DeviceCommand(LONG, const GUID*, IWiaItem2**)
{
    calls.push_back("DeviceCommand");
    return E_NOTIMPL;
}

IFACEMETHODIMP FakeItem::EnumDeviceCapabilities(LONG, IEnumWIA_DEV_CAPS**)
{
    return E_NOTIMPL;
}

IFACEMETHODIMP FakeItem::CheckExtension(LONG, BSTR, REFIID, BOOL*)
{
    return E_NOTIMPL;
}

IFACEMETHODIMP FakeItem::GetExtension(LONG, BSTR, REFIID, void**)
{
    return E_NOTIMPL;
}

IFACEMETHODIMP FakeItem::GetParentItem(IWiaItem2**)
{
    return E_NOTIMPL;
}

IFACEMETHODIMP FakeItem::GetRootItem(IWiaItem2**)
{
    return E_NOTIMPL;
}

IFACEMETHODIMP FakeItem::GetPreviewComponent(LONG, IWiaPreview**)
{
    return E_NOTIMPL;
}

IFACEMETHODIMP FakeItem::EnumRegisterEventInfo(LONG, const GUID*, IEnumWIA_DEV_CAPS**)
{
    return E_NOTIMPL;
}

IFACEMETHODIMP FakeItem::Diagnostic(ULONG, BYTE*)
{
    return E_NOTIMPL;
}

} // namespace fakes
