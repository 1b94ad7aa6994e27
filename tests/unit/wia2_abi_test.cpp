// The WIA 2.0 declarations against the platform's ABI: every method in its vtable slot,
// every identifier with its registered value. Each fake method answers 0x1000 + the slot
// the platform gives that method; calling through the raw vtable then shows whether our
// declaration order puts it there.
#include "platform/wia2.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <string>

namespace
{

constexpr HRESULT Slot(int n)
{
    return 0x1000 + n;
}

// Raw call of vtable slot n with no arguments. Every method under test ignores its
// arguments, and on x64 a callee reads them from registers or the caller's frame only.
template <typename Interface> HRESULT CallSlot(Interface* object, int n)
{
    using Fn = HRESULT(STDMETHODCALLTYPE*)(void*);
    void** vtbl = *reinterpret_cast<void***>(object);
    return reinterpret_cast<Fn>(vtbl[n])(object);
}

template <typename Interface> struct FakeUnknown : Interface
{
    IFACEMETHODIMP QueryInterface(REFIID, void**) override { return Slot(0); }
    IFACEMETHODIMP_(ULONG) AddRef() override { return Slot(1); }
    IFACEMETHODIMP_(ULONG) Release() override { return Slot(2); }
};

struct FakeItem : FakeUnknown<IWiaItem2>
{
    IFACEMETHODIMP CreateChildItem(LONG, LONG, BSTR, IWiaItem2**) override { return Slot(3); }
    IFACEMETHODIMP DeleteItem(LONG) override { return Slot(4); }
    IFACEMETHODIMP EnumChildItems(const GUID*, IEnumWiaItem2**) override { return Slot(5); }
    IFACEMETHODIMP FindItemByName(LONG, BSTR, IWiaItem2**) override { return Slot(6); }
    IFACEMETHODIMP GetItemCategory(GUID*) override { return Slot(7); }
    IFACEMETHODIMP GetItemType(LONG*) override { return Slot(8); }
    IFACEMETHODIMP DeviceDlg(LONG, HWND, BSTR, BSTR, LONG*, BSTR**, IWiaItem2**) override { return Slot(9); }
    IFACEMETHODIMP DeviceCommand(LONG, const GUID*, IWiaItem2**) override { return Slot(10); }
    IFACEMETHODIMP EnumDeviceCapabilities(LONG, IEnumWIA_DEV_CAPS**) override { return Slot(11); }
    IFACEMETHODIMP CheckExtension(LONG, BSTR, REFIID, BOOL*) override { return Slot(12); }
    IFACEMETHODIMP GetExtension(LONG, BSTR, REFIID, void**) override { return Slot(13); }
    IFACEMETHODIMP GetParentItem(IWiaItem2**) override { return Slot(14); }
    IFACEMETHODIMP GetRootItem(IWiaItem2**) override { return Slot(15); }
    IFACEMETHODIMP GetPreviewComponent(LONG, IWiaPreview**) override { return Slot(16); }
    IFACEMETHODIMP EnumRegisterEventInfo(LONG, const GUID*, IEnumWIA_DEV_CAPS**) override { return Slot(17); }
    IFACEMETHODIMP Diagnostic(ULONG, BYTE*) override { return Slot(18); }
};

struct FakeEnum : FakeUnknown<IEnumWiaItem2>
{
    IFACEMETHODIMP Next(ULONG, IWiaItem2**, ULONG*) override { return Slot(3); }
    IFACEMETHODIMP Skip(ULONG) override { return Slot(4); }
    IFACEMETHODIMP Reset() override { return Slot(5); }
    IFACEMETHODIMP Clone(IEnumWiaItem2**) override { return Slot(6); }
    IFACEMETHODIMP GetCount(ULONG*) override { return Slot(7); }
};

struct FakeDevMgr : FakeUnknown<IWiaDevMgr2>
{
    IFACEMETHODIMP EnumDeviceInfo(LONG, IEnumWIA_DEV_INFO**) override { return Slot(3); }
    IFACEMETHODIMP CreateDevice(LONG, BSTR, IWiaItem2**) override { return Slot(4); }
    IFACEMETHODIMP SelectDeviceDlg(HWND, LONG, LONG, BSTR*, IWiaItem2**) override { return Slot(5); }
    IFACEMETHODIMP SelectDeviceDlgID(HWND, LONG, LONG, BSTR*) override { return Slot(6); }
    IFACEMETHODIMP RegisterEventCallbackInterface(LONG, BSTR, const GUID*, IWiaEventCallback*, IUnknown**) override
    {
        return Slot(7);
    }
    IFACEMETHODIMP RegisterEventCallbackProgram(LONG, BSTR, const GUID*, BSTR, BSTR, BSTR, BSTR, BSTR) override
    {
        return Slot(8);
    }
    IFACEMETHODIMP RegisterEventCallbackCLSID(LONG, BSTR, const GUID*, const GUID*, BSTR, BSTR, BSTR) override
    {
        return Slot(9);
    }
    IFACEMETHODIMP GetImageDlg(LONG, BSTR, HWND, BSTR, BSTR, LONG*, BSTR**, IWiaItem2**) override { return Slot(10); }
};

struct FakeTransfer : FakeUnknown<IWiaTransfer>
{
    IFACEMETHODIMP Download(LONG, IWiaTransferCallback*) override { return Slot(3); }
    IFACEMETHODIMP Upload(LONG, IStream*, IWiaTransferCallback*) override { return Slot(4); }
    IFACEMETHODIMP Cancel() override { return Slot(5); }
    IFACEMETHODIMP EnumWIA_FORMAT_INFO(IEnumWIA_FORMAT_INFO**) override { return Slot(6); }
};

struct FakeCallback : FakeUnknown<IWiaTransferCallback>
{
    IFACEMETHODIMP TransferCallback(LONG, WiaTransferParams*) override { return Slot(3); }
    IFACEMETHODIMP GetNextStream(LONG, BSTR, BSTR, IStream**) override { return Slot(4); }
};

struct FakeUiExtension : FakeUnknown<IWiaUIExtension2>
{
    IFACEMETHODIMP DeviceDialog(DEVICEDIALOGDATA2*) override { return Slot(3); }
    IFACEMETHODIMP GetDeviceIcon(BSTR, HICON*, ULONG) override { return Slot(4); }
};

template <typename Fake> void ExpectSlots(int slotCount)
{
    Fake fake;
    auto* object = static_cast<Fake*>(&fake);
    for (int n = 0; n < slotCount; ++n)
        EXPECT_EQ(Slot(n), CallSlot(object, n)) << "slot " << n;
}

TEST(Wia2Abi, VtableSlotOrder)
{
    ExpectSlots<FakeItem>(19);
    ExpectSlots<FakeEnum>(8);
    ExpectSlots<FakeDevMgr>(11);
    ExpectSlots<FakeTransfer>(7);
    ExpectSlots<FakeCallback>(5);
    ExpectSlots<FakeUiExtension>(5);
}

TEST(Wia2Abi, VtablesHoldNoMoreSlotsThanThePlatform)
{
    // One more virtual would sit past the platform's last slot; the class sizes show none
    // was added in between (each fake is a single vtable pointer).
    EXPECT_EQ(sizeof(void*), sizeof(FakeItem));
    EXPECT_EQ(sizeof(void*), sizeof(FakeUiExtension));
}

std::string GuidText(const GUID& guid)
{
    wchar_t wide[40] = {};
    ::StringFromGUID2(guid, wide, 40);
    return std::string(wide, wide + wcslen(wide));
}

TEST(Wia2Abi, IdentifiersHaveThePlatformValues)
{
    struct
    {
        const GUID& id;
        const char* text;
    } const rows[] = {
        {IID_IWiaItem2, "{6CBA0075-1287-407D-9B77-CF0E030435CC}"},
        {IID_IEnumWiaItem2, "{59970AF4-CD0D-44D9-AB24-52295630E582}"},
        {IID_IWiaDevMgr2, "{79C07CF1-CBDD-41EE-8EC3-F00080CADA7A}"},
        {CLSID_WiaDevMgr2, "{B6C292BC-7C88-41EE-8B54-8EC92617E599}"},
        {IID_IWiaTransfer, "{C39D6942-2F4E-4D04-92FE-4EF4D3A1DE5A}"},
        {IID_IWiaTransferCallback, "{27D4EAAF-28A6-4CA5-9AAB-E678168B9527}"},
        {IID_IWiaUIExtension2, "{305600D7-5088-46D7-9A15-B77B09CDBA7A}"},
        {IID_IWiaPropertyStorage, "{98B5E8A0-29CC-491A-AAC0-E6DB4FDCCEB6}"},
        {WIA_CATEGORY_FOLDER, "{C692A446-6F5A-481D-85BB-92E2E86FD30A}"},
        {WIA_CATEGORY_ROOT, "{F193526F-59B8-4A26-9888-E16E4F97CE10}"},
        {WIA_CATEGORY_FLATBED, "{FB607B1F-43F3-488B-855B-FB703EC342A6}"},
        {WIA_CATEGORY_FEEDER, "{FE131934-F84C-42AD-8DA4-6129CDDD7288}"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.text, GuidText(row.id));

    // __uuidof, as ComPtr::As uses it, agrees with the constants.
    EXPECT_TRUE(::IsEqualIID(__uuidof(IWiaItem2), IID_IWiaItem2));
    EXPECT_TRUE(::IsEqualIID(__uuidof(IWiaTransfer), IID_IWiaTransfer));
    EXPECT_TRUE(::IsEqualIID(__uuidof(IWiaPropertyStorage), IID_IWiaPropertyStorage));
}

} // namespace
