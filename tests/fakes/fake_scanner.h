// A simulated WIA 2.0 scanner driver: COM objects that stand where the driver and the WIA
// service stand, for tests and the demonstration host.
//
//   root item (IWiaItem2, IWiaPropertyStorage)    GetItemType: root | folder | device
//     flatbed item   listed under WIA_CATEGORY_FLATBED
//     folder item    listed under WIA_CATEGORY_FOLDER: the root's first folder child
//       Image1, ...  IWiaTransfer; listed under WIA_CATEGORY_FOLDER too, since the driver
//                    contract has the folder's images enumerated with that category
//
// Every object counts its references and records the calls it receives; LiveObjects()
// counts the objects not yet destroyed, so a test can prove that nothing leaked. Faults
// are set on the objects themselves (public fields) before they are handed out. Nothing
// here is thread-safe: objects are made and called on one thread.
#pragma once

#include <windows.h>
#include <objidl.h>

#include "platform/wia2.h"

#include <wrl/client.h>

#include <climits>
#include <string>
#include <vector>

namespace fakes
{

using Microsoft::WRL::ComPtr;

// Fake objects made and not yet destroyed, of every kind.
LONG LiveObjects();

// A 2 x 2 pixel, 24-bit bottom-up BMP file (70 bytes) in one colour: what an image item
// delivers. Different shades give different files.
std::vector<BYTE> SampleBitmap(BYTE shade);

// Counts the fake objects alive.
class LiveObject
{
protected:
    LiveObject();
    ~LiveObject();
    LiveObject(const LiveObject&) = delete;
    LiveObject& operator=(const LiveObject&) = delete;
};

// Reference counting shared by every fake; the last Release deletes the Derived object.
template <typename Derived> class Counted : private LiveObject
{
public:
    ULONG RefCount() const { return static_cast<ULONG>(refs_); }

protected:
    ULONG AddRefImpl() { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }
    ULONG ReleaseImpl()
    {
        const LONG count = ::InterlockedDecrement(&refs_);
        if (count == 0)
            delete static_cast<Derived*>(this);
        return static_cast<ULONG>(count);
    }

private:
    volatile LONG refs_ = 0;
};

// One property value that ReadMultiple answers.
struct FakeProperty
{
    PROPID id;
    VARTYPE type;      // VT_BSTR; VT_I4 for a driver that gives a number instead
    std::wstring text; // VT_BSTR: the text
    bool nullBstr;     // VT_BSTR: a null BSTR rather than the text
    LONG number;       // VT_I4
    GUID guid = {};    // VT_CLSID
};

// How Download behaves.
enum class DownloadFault
{
    None,           // asks GetNextStream once, writes the whole image, returns S_OK
    BeforeStream,   // returns downloadResult without asking for a stream
    AfterPartWrite, // asks for the stream, writes half the image, returns downloadResult
};

// A WIA item. Root and folder items enumerate their children; image items also answer
// IWiaTransfer. Every item answers IWiaPropertyStorage unless told not to.
class FakeItem final : public IWiaItem2, public IWiaPropertyStorage, public IWiaTransfer, public Counted<FakeItem>
{
public:
    static ComPtr<FakeItem> Make(LONG type, const GUID& category, const std::wstring& name);

    // --- What the item is --------------------------------------------------------------
    LONG type;
    GUID category;             // GetItemCategory
    GUID listedUnder;          // EnumChildItems on the parent lists it for this category
    std::wstring name;         // Download passes it to GetNextStream
    std::wstring fullItemName; // likewise; also property WIA_IPA_FULL_ITEM_NAME
    std::vector<FakeProperty> properties;
    std::vector<ComPtr<FakeItem>> children;
    std::vector<BYTE> image; // what Download writes (image items)
    ULONG writeChunk = 0;    // Download writes in pieces of this size; 0: all at once
    // A folder item with a tray lists the files in that folder, afresh at every
    // EnumChildItems, as its image items (sorted by name; names starting with "~" are
    // still being written). A page named "*.fail.*" fails its download half-way. This
    // is how a companion program in another process brings pages into the driver.
    std::wstring trayFolder;

    void SetString(PROPID id, const std::wstring& text);
    void SetNullString(PROPID id);
    void SetNumber(PROPID id, LONG number);    // a non-string value where a string belongs
    void SetGuid(PROPID id, const GUID& guid); // VT_CLSID, as WIA_IPA_FORMAT
    void Remove(PROPID id);                    // the driver does not have the property

    // --- Faults -------------------------------------------------------------------------
    HRESULT getItemTypeResult = S_OK;   // a failure returns it and leaves the type unwritten
    bool answersPropertyStorage = true; // false: QueryInterface says E_NOINTERFACE
    HRESULT readMultipleResult = S_OK;  // a failure returns it with every value VT_EMPTY
    HRESULT enumChildItemsResult = S_OK;
    ULONG nextFailsAt = ULONG_MAX; // the enumerator's Next fails (E_FAIL) at this index
    HRESULT nextFailure = E_FAIL;
    DownloadFault downloadFault = DownloadFault::None;
    HRESULT downloadResult = S_OK; // returned by a faulty Download
    // Download keeps a reference to the stream past its return, in heldStream; with
    // pinFile it also opens the file named by the stream's Stat for its attributes only (as
    // an indexer may, whatever the sharing) and keeps that handle in pinnedFile.
    bool holdStream = false;
    bool pinFile = false;
    ComPtr<IStream> heldStream;
    bool holdCallback = false; // Download keeps the callback past its return, in heldCallback
    ComPtr<IWiaTransferCallback> heldCallback;
    HANDLE pinnedFile = INVALID_HANDLE_VALUE;

    // --- What happened ------------------------------------------------------------------
    // One entry per call, e.g. "GetItemType", "QueryInterface IWiaPropertyStorage",
    // "ReadMultiple 71684 1026 71686 4099", "EnumChildItems folder", "Next 1",
    // "GetCount", "Download 1", "GetNextStream". Enumerators record into their item.
    std::vector<std::string> calls;
    int CallCount(const std::string& prefix) const; // entries that start with prefix

    // IUnknown
    IFACEMETHODIMP QueryInterface(REFIID iid, void** object) override;
    IFACEMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    IFACEMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

    // IWiaItem2
    IFACEMETHODIMP CreateChildItem(LONG, LONG, BSTR, IWiaItem2**) override;
    IFACEMETHODIMP DeleteItem(LONG) override;
    IFACEMETHODIMP EnumChildItems(const GUID* category, IEnumWiaItem2** items) override;
    IFACEMETHODIMP FindItemByName(LONG, BSTR, IWiaItem2**) override;
    IFACEMETHODIMP GetItemCategory(GUID* itemCategory) override;
    IFACEMETHODIMP GetItemType(LONG* itemType) override;
    IFACEMETHODIMP DeviceDlg(LONG, HWND, BSTR, BSTR, LONG*, BSTR**, IWiaItem2**) override;
    IFACEMETHODIMP DeviceCommand(LONG, const GUID*, IWiaItem2**) override;
    IFACEMETHODIMP EnumDeviceCapabilities(LONG, IEnumWIA_DEV_CAPS**) override;
    IFACEMETHODIMP CheckExtension(LONG, BSTR, REFIID, BOOL*) override;
    IFACEMETHODIMP GetExtension(LONG, BSTR, REFIID, void**) override;
    IFACEMETHODIMP GetParentItem(IWiaItem2**) override;
    IFACEMETHODIMP GetRootItem(IWiaItem2**) override;
    IFACEMETHODIMP GetPreviewComponent(LONG, IWiaPreview**) override;
    IFACEMETHODIMP EnumRegisterEventInfo(LONG, const GUID*, IEnumWIA_DEV_CAPS**) override;
    IFACEMETHODIMP Diagnostic(ULONG, BYTE*) override;

    // IWiaPropertyStorage: ReadMultiple and GetCount; the rest E_NOTIMPL.
    IFACEMETHODIMP ReadMultiple(ULONG count, const PROPSPEC specs[], PROPVARIANT values[]) override;
    IFACEMETHODIMP WriteMultiple(ULONG, const PROPSPEC[], const PROPVARIANT[], PROPID) override;
    IFACEMETHODIMP DeleteMultiple(ULONG, const PROPSPEC[]) override;
    IFACEMETHODIMP ReadPropertyNames(ULONG, const PROPID[], LPOLESTR[]) override;
    IFACEMETHODIMP WritePropertyNames(ULONG, const PROPID[], const LPOLESTR[]) override;
    IFACEMETHODIMP DeletePropertyNames(ULONG, const PROPID[]) override;
    IFACEMETHODIMP Commit(DWORD) override;
    IFACEMETHODIMP Revert() override;
    IFACEMETHODIMP Enum(IEnumSTATPROPSTG**) override;
    IFACEMETHODIMP SetTimes(const FILETIME*, const FILETIME*, const FILETIME*) override;
    IFACEMETHODIMP SetClass(REFCLSID) override;
    IFACEMETHODIMP Stat(STATPROPSETSTG*) override;
    IFACEMETHODIMP GetPropertyAttributes(ULONG, PROPSPEC[], ULONG[], PROPVARIANT[]) override;
    IFACEMETHODIMP GetCount(ULONG* count) override;
    IFACEMETHODIMP GetPropertyStream(GUID*, IStream**) override;
    IFACEMETHODIMP SetPropertyStream(GUID*, IStream*) override;

    // IWiaTransfer (image items): Download; the rest E_NOTIMPL.
    IFACEMETHODIMP Download(LONG flags, IWiaTransferCallback* callback) override;
    IFACEMETHODIMP Upload(LONG, IStream*, IWiaTransferCallback*) override;
    IFACEMETHODIMP Cancel() override;
    IFACEMETHODIMP EnumWIA_FORMAT_INFO(IEnumWIA_FORMAT_INFO**) override;

private:
    FakeItem() = default;
    FakeProperty* Find(PROPID id);
    void ListTray(); // replaces children with the tray's pages
};

// What MakeScanner builds.
struct ScannerSetup
{
    std::wstring deviceName = L"Test Scanner";
    std::wstring modelName = L"TS-100";
    std::wstring firmwareVersion = L"1.02.003";
    ULONG imageCount = 2;
    std::wstring trayFolder = {}; // set: the folder item presents this folder's files instead
};

struct Scanner
{
    ComPtr<FakeItem> root;                // answers the four identity properties as VT_BSTR
    ComPtr<FakeItem> flatbed;             // the root's first child, not a folder
    ComPtr<FakeItem> folder;              // the root's first child in WIA_CATEGORY_FOLDER
    std::vector<ComPtr<FakeItem>> images; // the folder's children: "Image1", "Image2", ...
};

// A root item with a flatbed child and a folder child holding imageCount images. Image i
// (from 1) delivers SampleBitmap(i * 40).
Scanner MakeScanner(const ScannerSetup& setup = {});

// An image item as a driver lists it below its folder: transferable, listed under the
// folder category, with item name, full item name and format properties.
ComPtr<FakeItem> MakeImageItem(const std::wstring& folderName, const std::wstring& name, const GUID& format,
                               std::vector<BYTE> image);

// The WIA 2.0 device manager: CreateDevice opens the root of a device added by its ID
// (compared exactly); an unknown ID gives WIA_S_NO_DEVICE_AVAILABLE (an error, despite the
// name). Other operations return E_NOTIMPL.
class FakeDeviceManager final : public IWiaDevMgr2, public Counted<FakeDeviceManager>
{
public:
    static ComPtr<FakeDeviceManager> Make();

    void AddDevice(const std::wstring& deviceId, IWiaItem2* root);

    HRESULT createDeviceResult = S_OK; // a failure is returned without opening anything

    // The device IDs CreateDevice was asked for, and the flags of each call.
    std::vector<std::wstring> requestedIds;
    std::vector<LONG> requestedFlags;

    IFACEMETHODIMP QueryInterface(REFIID iid, void** object) override;
    IFACEMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    IFACEMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

    IFACEMETHODIMP EnumDeviceInfo(LONG, IEnumWIA_DEV_INFO**) override;
    IFACEMETHODIMP CreateDevice(LONG flags, BSTR deviceId, IWiaItem2** root) override;
    IFACEMETHODIMP SelectDeviceDlg(HWND, LONG, LONG, BSTR*, IWiaItem2**) override;
    IFACEMETHODIMP SelectDeviceDlgID(HWND, LONG, LONG, BSTR*) override;
    IFACEMETHODIMP RegisterEventCallbackInterface(LONG, BSTR, const GUID*, IWiaEventCallback*, IUnknown**) override;
    IFACEMETHODIMP RegisterEventCallbackProgram(LONG, BSTR, const GUID*, BSTR, BSTR, BSTR, BSTR, BSTR) override;
    IFACEMETHODIMP RegisterEventCallbackCLSID(LONG, BSTR, const GUID*, const GUID*, BSTR, BSTR, BSTR) override;
    IFACEMETHODIMP GetImageDlg(LONG, BSTR, HWND, BSTR, BSTR, LONG*, BSTR**, IWiaItem2**) override;

private:
    FakeDeviceManager() = default;
    struct Device
    {
        std::wstring id;
        ComPtr<IWiaItem2> root;
    };
    std::vector<Device> devices_;
};

// Makes `manager` the class object of CLSID_WiaDevMgr2 for local-server activation in this
// process, so that CoCreateInstance(CLSID_WiaDevMgr2, ..., CLSCTX_LOCAL_SERVER, ...) hands
// it out. Register from the apartment that will call CoCreateInstance (under Wine a call
// from another apartment fails with E_NOINTERFACE); COM must be initialised there. The
// registration is revoked when this object is destroyed.
class DeviceManagerRegistration
{
public:
    DeviceManagerRegistration() = default;
    ~DeviceManagerRegistration();
    DeviceManagerRegistration(const DeviceManagerRegistration&) = delete;
    DeviceManagerRegistration& operator=(const DeviceManagerRegistration&) = delete;

    HRESULT Register(IWiaDevMgr2* manager);
    void Revoke();

    // How often the class object was asked to create the manager.
    ULONG InstancesCreated() const;

private:
    DWORD cookie_ = 0;
    ComPtr<IClassFactory> factory_;
};

// A shell data object for the scanner: it carries a "WIAItemNames" list, or it is the WIA
// item itself. GetData is strict, as the shell's is: it answers only the registered
// "WIAItemNames" format with DVASPECT_CONTENT, lindex -1 and TYMED_HGLOBAL.
class FakeDataObject final : public IDataObject, public Counted<FakeDataObject>
{
public:
    // Carries the names: each with its terminator, then an empty string (an empty vector
    // gives the empty list, a lone empty string).
    static ComPtr<FakeDataObject> WithItemNames(const std::vector<std::wstring>& names);
    // Carries `block` byte for byte, for lists that are not well formed.
    static ComPtr<FakeDataObject> WithRawItemNames(const std::vector<wchar_t>& block);
    // Answers QueryInterface for IWiaItem2 with `item`, as the data object the shell hands
    // over for a WIA item does; carries no clipboard data.
    static ComPtr<FakeDataObject> ForItem(IWiaItem2* item);
    // Carries nothing and is no item.
    static ComPtr<FakeDataObject> Empty();

    // True (the default): the medium names this object as its owner (pUnkForRelease) and
    // the object frees the memory itself, so RefCount() shows whether the caller released
    // the medium. False: the memory is handed over for the caller to free.
    bool keepsMedium = true;
    HRESULT getDataResult = S_OK; // a failure is returned instead of the data

    ULONG getDataCalls = 0;
    FORMATETC lastRequest = {};

    IFACEMETHODIMP QueryInterface(REFIID iid, void** object) override;
    IFACEMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    IFACEMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

    IFACEMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override;
    IFACEMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override;
    IFACEMETHODIMP QueryGetData(FORMATETC* format) override;
    IFACEMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override;
    IFACEMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override;
    IFACEMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override;
    IFACEMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override;
    IFACEMETHODIMP DUnadvise(DWORD) override;
    IFACEMETHODIMP EnumDAdvise(IEnumSTATDATA**) override;

private:
    friend class Counted<FakeDataObject>;
    FakeDataObject() = default;
    ~FakeDataObject();
    HRESULT CheckFormat(const FORMATETC* format) const;

    bool hasNames_ = false;
    std::vector<wchar_t> block_;
    ComPtr<IWiaItem2> item_;
    std::vector<HGLOBAL> keptMemory_; // handed out with this object as owner
};

} // namespace fakes
