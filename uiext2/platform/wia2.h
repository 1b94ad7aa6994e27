// WIA 2.0 declarations that MinGW-w64's headers lack: interfaces, records, identifiers
// and constants, exactly as the 64-bit platform lays them out. Slot orders follow the
// platform's IDL, not the alphabetical order of the reference pages; a slot out of place
// compiles and passes against our own test doubles, then crashes against the real service.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <propidl.h>
#include <unknwn.h>
#include <wia.h> // WIA 1.0: IWiaPropertyStorage, IEnumWIA_DEV_CAPS, ... (shared with WIA 2.0)

#include <cstddef>

// ---------------------------------------------------------------------------------
// Identifiers. Defined once, in wia2_guids.cpp.
// ---------------------------------------------------------------------------------

extern "C"
{
    extern const IID IID_IWiaItem2;
    extern const IID IID_IEnumWiaItem2;
    extern const IID IID_IWiaDevMgr2;
    extern const CLSID CLSID_WiaDevMgr2;
    extern const IID IID_IWiaTransfer;
    extern const IID IID_IWiaTransferCallback;
    extern const IID IID_IWiaUIExtension2;
    extern const GUID WIA_CATEGORY_FOLDER;
    extern const GUID WIA_CATEGORY_ROOT;
    extern const GUID WIA_CATEGORY_FLATBED;
    extern const GUID WIA_CATEGORY_FEEDER;
}

struct IWiaItem2;
struct IEnumWiaItem2;
struct IWiaDevMgr2;
struct IWiaTransfer;
struct IWiaTransferCallback;
struct IWiaUIExtension2;
struct IWiaPreview; // never called; only its pointer type appears in a slot

// ---------------------------------------------------------------------------------
// Records
// ---------------------------------------------------------------------------------

struct WiaTransferParams
{
    LONG lMessage;
    LONG lPercentComplete;
    ULONG64 ulTransferredBytes;
    HRESULT hrErrorStatus;
};

struct DEVICEDIALOGDATA2
{
    DWORD cbSize;
    IWiaItem2* pIWiaItemRoot;
    DWORD dwFlags;
    HWND hwndParent;
    BSTR bstrFolderName;
    BSTR bstrFilename;
    LONG lNumFiles;
    BSTR* pbstrFilePaths;
    IWiaItem2* pWiaItem;
};
typedef DEVICEDIALOGDATA2* PDEVICEDIALOGDATA2;

static_assert(sizeof(WiaTransferParams) == 24, "WiaTransferParams is 24 bytes on x64");
static_assert(offsetof(WiaTransferParams, lPercentComplete) == 4, "layout");
static_assert(offsetof(WiaTransferParams, ulTransferredBytes) == 8, "layout");
static_assert(offsetof(WiaTransferParams, hrErrorStatus) == 16, "layout");

static_assert(sizeof(DEVICEDIALOGDATA2) == 72, "DEVICEDIALOGDATA2 is 72 bytes on x64");
static_assert(alignof(DEVICEDIALOGDATA2) == 8, "layout");
static_assert(offsetof(DEVICEDIALOGDATA2, pIWiaItemRoot) == 8, "layout");
static_assert(offsetof(DEVICEDIALOGDATA2, dwFlags) == 16, "layout");
static_assert(offsetof(DEVICEDIALOGDATA2, hwndParent) == 24, "layout");
static_assert(offsetof(DEVICEDIALOGDATA2, bstrFolderName) == 32, "layout");
static_assert(offsetof(DEVICEDIALOGDATA2, bstrFilename) == 40, "layout");
static_assert(offsetof(DEVICEDIALOGDATA2, lNumFiles) == 48, "layout");
static_assert(offsetof(DEVICEDIALOGDATA2, pbstrFilePaths) == 56, "layout");
static_assert(offsetof(DEVICEDIALOGDATA2, pWiaItem) == 64, "layout");

// The standard records this system hands to WIA calls, as the platform lays them out.
static_assert(sizeof(PROPSPEC) == 16 && offsetof(PROPSPEC, propid) == 8, "PROPSPEC layout");
static_assert(sizeof(PROPVARIANT) == 24, "PROPVARIANT layout");

// ---------------------------------------------------------------------------------
// Interfaces, every method in its vtable slot (0-2 are IUnknown's).
// ---------------------------------------------------------------------------------

struct IWiaItem2 : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE CreateChildItem(LONG lItemFlags, LONG lCreationFlags, BSTR bstrItemName,
                                                      IWiaItem2** ppIWiaItem2) = 0; // 3
    virtual HRESULT STDMETHODCALLTYPE DeleteItem(LONG lFlags) = 0;                  // 4
    virtual HRESULT STDMETHODCALLTYPE EnumChildItems(const GUID* pCategoryGUID,
                                                     IEnumWiaItem2** ppIEnumWiaItem2) = 0; // 5
    virtual HRESULT STDMETHODCALLTYPE FindItemByName(LONG lFlags, BSTR bstrFullItemName,
                                                     IWiaItem2** ppIWiaItem2) = 0;  // 6
    virtual HRESULT STDMETHODCALLTYPE GetItemCategory(GUID* pItemCategoryGUID) = 0; // 7
    virtual HRESULT STDMETHODCALLTYPE GetItemType(LONG* pItemType) = 0;             // 8
    virtual HRESULT STDMETHODCALLTYPE DeviceDlg(LONG lFlags, HWND hwndParent, BSTR bstrFolderName, BSTR bstrFilename,
                                                LONG* plNumFiles, BSTR** ppbstrFilePaths,
                                                IWiaItem2** ppItem) = 0; // 9
    virtual HRESULT STDMETHODCALLTYPE DeviceCommand(LONG lFlags, const GUID* pCmdGUID,
                                                    IWiaItem2** ppIWiaItem2) = 0; // 10
    virtual HRESULT STDMETHODCALLTYPE EnumDeviceCapabilities(LONG lFlags,
                                                             IEnumWIA_DEV_CAPS** ppIEnumWIA_DEV_CAPS) = 0; // 11
    virtual HRESULT STDMETHODCALLTYPE CheckExtension(LONG lFlags, BSTR bstrName, REFIID riidExtensionInterface,
                                                     BOOL* pbExtensionExists) = 0; // 12
    virtual HRESULT STDMETHODCALLTYPE GetExtension(LONG lFlags, BSTR bstrName, REFIID riidExtensionInterface,
                                                   void** ppOut) = 0;                                   // 13
    virtual HRESULT STDMETHODCALLTYPE GetParentItem(IWiaItem2** ppIWiaItem2) = 0;                       // 14
    virtual HRESULT STDMETHODCALLTYPE GetRootItem(IWiaItem2** ppIWiaItem2) = 0;                         // 15
    virtual HRESULT STDMETHODCALLTYPE GetPreviewComponent(LONG lFlags, IWiaPreview** ppWiaPreview) = 0; // 16
    virtual HRESULT STDMETHODCALLTYPE EnumRegisterEventInfo(LONG lFlags, const GUID* pEventGUID,
                                                            IEnumWIA_DEV_CAPS** ppIEnum) = 0; // 17
    virtual HRESULT STDMETHODCALLTYPE Diagnostic(ULONG ulSize, BYTE* pBuffer) = 0;            // 18
};

struct IEnumWiaItem2 : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG cElt, IWiaItem2** ppIWiaItem2, ULONG* pcEltFetched) = 0; // 3
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG cElt) = 0;                                               // 4
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;                                                        // 5
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumWiaItem2** ppIEnum) = 0;                                 // 6
    virtual HRESULT STDMETHODCALLTYPE GetCount(ULONG* cElt) = 0;                                          // 7
};

struct IWiaDevMgr2 : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE EnumDeviceInfo(LONG lFlags, IEnumWIA_DEV_INFO** ppIEnum) = 0; // 3
    virtual HRESULT STDMETHODCALLTYPE CreateDevice(LONG lFlags, BSTR bstrDeviceID,
                                                   IWiaItem2** ppWiaItem2Root) = 0; // 4
    virtual HRESULT STDMETHODCALLTYPE SelectDeviceDlg(HWND hwndParent, LONG lDeviceType, LONG lFlags,
                                                      BSTR* pbstrDeviceID, IWiaItem2** ppItemRoot) = 0; // 5
    virtual HRESULT STDMETHODCALLTYPE SelectDeviceDlgID(HWND hwndParent, LONG lDeviceType, LONG lFlags,
                                                        BSTR* pbstrDeviceID) = 0; // 6
    virtual HRESULT STDMETHODCALLTYPE RegisterEventCallbackInterface(LONG lFlags, BSTR bstrDeviceID,
                                                                     const GUID* pEventGUID,
                                                                     IWiaEventCallback* pIWiaEventCallback,
                                                                     IUnknown** pEventObject) = 0; // 7
    virtual HRESULT STDMETHODCALLTYPE RegisterEventCallbackProgram(LONG lFlags, BSTR bstrDeviceID,
                                                                   const GUID* pEventGUID, BSTR bstrFullAppName,
                                                                   BSTR bstrCommandLineArg, BSTR bstrName,
                                                                   BSTR bstrDescription, BSTR bstrIcon) = 0; // 8
    virtual HRESULT STDMETHODCALLTYPE RegisterEventCallbackCLSID(LONG lFlags, BSTR bstrDeviceID, const GUID* pEventGUID,
                                                                 const GUID* pClsID, BSTR bstrName,
                                                                 BSTR bstrDescription,
                                                                 BSTR bstrIcon) = 0; // 9
    virtual HRESULT STDMETHODCALLTYPE GetImageDlg(LONG lFlags, BSTR bstrDeviceID, HWND hwndParent, BSTR bstrFolderName,
                                                  BSTR bstrFilename, LONG* plNumFiles, BSTR** ppbstrFilePaths,
                                                  IWiaItem2** ppItem) = 0; // 10
};

struct IWiaTransferCallback : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE TransferCallback(LONG lFlags, WiaTransferParams* pWiaTransferParams) = 0; // 3
    virtual HRESULT STDMETHODCALLTYPE GetNextStream(LONG lFlags, BSTR bstrItemName, BSTR bstrFullItemName,
                                                    IStream** ppDestination) = 0; // 4
};

struct IWiaTransfer : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE Download(LONG lFlags, IWiaTransferCallback* pIWiaTransferCallback) = 0; // 3
    virtual HRESULT STDMETHODCALLTYPE Upload(LONG lFlags, IStream* pSource,
                                             IWiaTransferCallback* pIWiaTransferCallback) = 0; // 4
    virtual HRESULT STDMETHODCALLTYPE Cancel() = 0;                                            // 5
    virtual HRESULT STDMETHODCALLTYPE EnumWIA_FORMAT_INFO(IEnumWIA_FORMAT_INFO** ppEnum) = 0;  // 6
};

struct IWiaUIExtension2 : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE DeviceDialog(DEVICEDIALOGDATA2* pDeviceDialogData) = 0;           // 3
    virtual HRESULT STDMETHODCALLTYPE GetDeviceIcon(BSTR bstrDeviceId, HICON* phIcon, ULONG nSize) = 0; // 4
};

// __uuidof for the declarations above, so ComPtr::As and IID_PPV_ARGS work with them.
#if defined(__CRT_UUID_DECL)
__CRT_UUID_DECL(IWiaItem2, 0x6cba0075, 0x1287, 0x407d, 0x9b, 0x77, 0xcf, 0x0e, 0x03, 0x04, 0x35, 0xcc)
__CRT_UUID_DECL(IEnumWiaItem2, 0x59970af4, 0xcd0d, 0x44d9, 0xab, 0x24, 0x52, 0x29, 0x56, 0x30, 0xe5, 0x82)
__CRT_UUID_DECL(IWiaDevMgr2, 0x79c07cf1, 0xcbdd, 0x41ee, 0x8e, 0xc3, 0xf0, 0x00, 0x80, 0xca, 0xda, 0x7a)
__CRT_UUID_DECL(IWiaTransfer, 0xc39d6942, 0x2f4e, 0x4d04, 0x92, 0xfe, 0x4e, 0xf4, 0xd3, 0xa1, 0xde, 0x5a)
__CRT_UUID_DECL(IWiaTransferCallback, 0x27d4eaaf, 0x28a6, 0x4ca5, 0x9a, 0xab, 0xe6, 0x78, 0x16, 0x8b, 0x95, 0x27)
__CRT_UUID_DECL(IWiaUIExtension2, 0x305600d7, 0x5088, 0x46d7, 0x9a, 0x15, 0xb7, 0x7b, 0x09, 0xcd, 0xba, 0x7a)
__CRT_UUID_DECL(IWiaPropertyStorage, 0x98b5e8a0, 0x29cc, 0x491a, 0xaa, 0xc0, 0xe6, 0xdb, 0x4f, 0xdc, 0xce, 0xb6)
#elif defined(_MSC_VER)
struct __declspec(uuid("6CBA0075-1287-407D-9B77-CF0E030435CC")) IWiaItem2;
struct __declspec(uuid("59970AF4-CD0D-44D9-AB24-52295630E582")) IEnumWiaItem2;
struct __declspec(uuid("79C07CF1-CBDD-41EE-8EC3-F00080CADA7A")) IWiaDevMgr2;
struct __declspec(uuid("C39D6942-2F4E-4D04-92FE-4EF4D3A1DE5A")) IWiaTransfer;
struct __declspec(uuid("27D4EAAF-28A6-4CA5-9AAB-E678168B9527")) IWiaTransferCallback;
struct __declspec(uuid("305600D7-5088-46D7-9A15-B77B09CDBA7A")) IWiaUIExtension2;
#endif

// ---------------------------------------------------------------------------------
// Constants. Plain numbers: MinGW's wiadef.h builds property ids from unparenthesised
// sums, which go wrong inside arithmetic.
// ---------------------------------------------------------------------------------

namespace wia2
{
// Item type flags (IWiaItem2::GetItemType).
constexpr LONG ItemTypeImage = 0x00000001;
constexpr LONG ItemTypeFolder = 0x00000004;
constexpr LONG ItemTypeRoot = 0x00000008;
constexpr LONG ItemTypeTransfer = 0x00002000;

// Property ids.
constexpr PROPID DipDevId = 2;
constexpr PROPID DpaFirmwareVersion = 1026;
constexpr PROPID IpaItemName = 4098;
constexpr PROPID IpaFullItemName = 4099;
constexpr PROPID IpaFormat = 4106; // VT_CLSID: a WiaImgFmt_* identifier
constexpr PROPID IpaFilenameExtension = 4123;
constexpr PROPID IpaItemCategory = 4125;
constexpr PROPID PrivateItemProp = 71682;
constexpr PROPID ModelNameProp = PrivateItemProp + 2;  // 71684, driver's private root property
constexpr PROPID DeviceNameProp = PrivateItemProp + 4; // 71686, driver's private root property

// IWiaTransfer::Download: acquire every transferable leaf below a folder item.
constexpr LONG TransferAcquireChildren = 1;

// IWiaTransferCallback::TransferCallback messages (WiaTransferParams::lMessage).
constexpr LONG TransferMsgStatus = 1;
constexpr LONG TransferMsgEndOfStream = 2;
constexpr LONG TransferMsgEndOfTransfer = 3;
constexpr LONG TransferMsgDeviceStatus = 5;
constexpr LONG TransferMsgNewPage = 6;

// DEVICEDIALOGDATA2::dwFlags.
constexpr DWORD DeviceDialogSingleImage = 0x2;
constexpr DWORD DeviceDialogUseCommonUi = 0x4;
} // namespace wia2
