// The simulated WIA 2.0 device manager, and its class object registered in the test process.
#include "fake_scanner.h"

#include <wiadef.h>

#include <new>

namespace fakes
{

namespace
{

// The class object COM hands the manager out through.
class ManagerFactory final : public IClassFactory, public Counted<ManagerFactory>
{
public:
    explicit ManagerFactory(IWiaDevMgr2* manager) : manager_(manager) {}

    ULONG created = 0;

    IFACEMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory))
            return E_NOINTERFACE;
        *object = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    IFACEMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    IFACEMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

    IFACEMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        ++created;
        return manager_->QueryInterface(iid, object);
    }
    IFACEMETHODIMP LockServer(BOOL) override { return S_OK; }

private:
    ComPtr<IWiaDevMgr2> manager_;
};

} // namespace

ComPtr<FakeDeviceManager> FakeDeviceManager::Make()
{
    return ComPtr<FakeDeviceManager>(new (std::nothrow) FakeDeviceManager()); // takes the first reference
}

void FakeDeviceManager::AddDevice(const std::wstring& deviceId, IWiaItem2* root)
{
    devices_.push_back(Device{deviceId, root});
}

IFACEMETHODIMP FakeDeviceManager::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IWiaDevMgr2))
        return E_NOINTERFACE;
    *object = static_cast<IWiaDevMgr2*>(this);
    AddRef();
    return S_OK;
}

IFACEMETHODIMP FakeDeviceManager::CreateDevice(LONG flags, BSTR deviceId, IWiaItem2** root)
{
    requestedIds.push_back(deviceId ? std::wstring(deviceId, ::SysStringLen(deviceId)) : std::wstring());
    requestedFlags.push_back(flags);
    if (!root)
        return E_POINTER;
    *root = nullptr;
    if (FAILED(createDeviceResult))
        return createDeviceResult;
    for (const Device& device : devices_)
    {
        if (device.id == requestedIds.back())
        {
            *root = device.root.Get();
            (*root)->AddRef();
            return S_OK;
        }
    }
    return WIA_S_NO_DEVICE_AVAILABLE;
}

IFACEMETHODIMP FakeDeviceManager::EnumDeviceInfo(LONG, IEnumWIA_DEV_INFO**)
{
    return E_NOTIMPL;
}

IFACEMETHODIMP FakeDeviceManager::SelectDeviceDlg(HWND, LONG, LONG, BSTR*, IWiaItem2**)
{
    return E_NOTIMPL;
}

IFACEMETHODIMP FakeDeviceManager::SelectDeviceDlgID(HWND, LONG, LONG, BSTR*)
{
    return E_NOTIMPL;
}

IFACEMETHODIMP FakeDeviceManager::RegisterEventCallbackInterface(LONG, BSTR, const GUID*, IWiaEventCallback*,
                                                                 IUnknown**)
{
    return E_NOTIMPL;
}

IFACEMETHODIMP FakeDeviceManager::RegisterEventCallbackProgram(LONG, BSTR, const GUID*, BSTR, BSTR, BSTR, BSTR, BSTR)
{
    return E_NOTIMPL;
}

IFACEMETHODIMP FakeDeviceManager::RegisterEventCallbackCLSID(LONG, BSTR, const GUID*, const GUID*, BSTR, BSTR, BSTR)
{
    return E_NOTIMPL;
}

IFACEMETHODIMP FakeDeviceManager::GetImageDlg(LONG, BSTR, HWND, BSTR, BSTR, LONG*, BSTR**, IWiaItem2**)
{
    return E_NOTIMPL;
}

// --- Registration ------------------------------------------------------------------------

DeviceManagerRegistration::~DeviceManagerRegistration()
{
    Revoke();
}

HRESULT DeviceManagerRegistration::Register(IWiaDevMgr2* manager)
{
    Revoke();
    if (!manager)
        return E_INVALIDARG;
    ComPtr<IClassFactory> factory(new (std::nothrow) ManagerFactory(manager));
    if (!factory)
        return E_OUTOFMEMORY;
    const HRESULT hr =
        ::CoRegisterClassObject(CLSID_WiaDevMgr2, factory.Get(), CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie_);
    if (FAILED(hr))
    {
        cookie_ = 0;
        return hr;
    }
    factory_ = factory;
    return S_OK;
}

void DeviceManagerRegistration::Revoke()
{
    if (cookie_ != 0)
        ::CoRevokeClassObject(cookie_);
    cookie_ = 0;
    factory_.Reset();
}

ULONG DeviceManagerRegistration::InstancesCreated() const
{
    return factory_ ? static_cast<ManagerFactory*>(factory_.Get())->created : 0;
}

} // namespace fakes
