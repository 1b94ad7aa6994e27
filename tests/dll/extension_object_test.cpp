// Identity, interface lookup and the not-supported operations of the extension object,
// created through the shipped DLL.
#include "dll_host.h"
#include "platform/wia2.h"

#include <gtest/gtest.h>

#include <shlobj.h>
#include <wrl/client.h>

using Microsoft::WRL::ComPtr;
using testhost::CreateExtension;
using testhost::Dll;

namespace
{

template <typename T> ComPtr<T> Create(REFIID iid)
{
    ComPtr<T> object;
    EXPECT_EQ(S_OK, CreateExtension(iid, reinterpret_cast<void**>(object.GetAddressOf())));
    return object;
}

TEST(ExtensionObject, AnswersItsFourInterfacesWithOneIdentity)
{
    ComPtr<IUnknown> unknown = Create<IUnknown>(IID_IUnknown);
    ASSERT_TRUE(unknown);

    const IID* iids[] = {&IID_IUnknown, &IID_IWiaUIExtension2, &IID_IShellPropSheetExt, &IID_IShellExtInit};
    for (const IID* iid : iids)
    {
        ComPtr<IUnknown> viaInterface;
        ASSERT_EQ(S_OK, unknown->QueryInterface(*iid, reinterpret_cast<void**>(viaInterface.GetAddressOf())));
        ComPtr<IUnknown> identity;
        ASSERT_EQ(S_OK, viaInterface->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(identity.GetAddressOf())));
        EXPECT_EQ(unknown.Get(), identity.Get()) << "IUnknown must be the same pointer through every interface";
    }

    // IUnknown is the primary interface, IWiaUIExtension2.
    ComPtr<IWiaUIExtension2> primary;
    ASSERT_EQ(S_OK, unknown->QueryInterface(IID_IWiaUIExtension2, reinterpret_cast<void**>(primary.GetAddressOf())));
    EXPECT_EQ(static_cast<void*>(unknown.Get()), static_cast<void*>(primary.Get()));
}

TEST(ExtensionObject, RefusesOtherInterfaces)
{
    ComPtr<IShellExtInit> init = Create<IShellExtInit>(IID_IShellExtInit);
    ASSERT_TRUE(init);

    const IID iidWiaUiExtension1 = {0xda319113, 0x50ee, 0x4c80, {0xb4, 0x60, 0x57, 0xd0, 0x05, 0xd4, 0x4a, 0x2c}};
    for (const IID* iid : {&IID_IDispatch, &IID_IClassFactory, &iidWiaUiExtension1, &IID_IContextMenu})
    {
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(E_NOINTERFACE, init->QueryInterface(*iid, &object));
        EXPECT_EQ(nullptr, object);
    }
    EXPECT_EQ(E_POINTER, init->QueryInterface(IID_IUnknown, nullptr));
}

TEST(ExtensionObject, InterfacesShareOneCount)
{
    ComPtr<IWiaUIExtension2> extension = Create<IWiaUIExtension2>(IID_IWiaUIExtension2);
    ASSERT_TRUE(extension);
    IShellPropSheetExt* sheet = nullptr;
    ASSERT_EQ(S_OK, extension->QueryInterface(IID_IShellPropSheetExt, reinterpret_cast<void**>(&sheet)));
    EXPECT_EQ(3u, sheet->AddRef());
    EXPECT_EQ(4u, extension->AddRef());
    EXPECT_EQ(3u, sheet->Release());
    EXPECT_EQ(2u, extension->Release());
    EXPECT_EQ(1u, sheet->Release());
    EXPECT_EQ(S_FALSE, Dll().DllCanUnloadNow());
    extension.Reset();
    EXPECT_EQ(S_OK, Dll().DllCanUnloadNow()) << "the last Release destroys the object";
}

TEST(ExtensionObject, UnsupportedOperationsTouchNoOutParameter)
{
    ComPtr<IWiaUIExtension2> extension = Create<IWiaUIExtension2>(IID_IWiaUIExtension2);
    ASSERT_TRUE(extension);
    HICON icon = reinterpret_cast<HICON>(0x1234);
    EXPECT_EQ(E_NOTIMPL, extension->GetDeviceIcon(nullptr, &icon, 32));
    EXPECT_EQ(reinterpret_cast<HICON>(0x1234), icon);
    EXPECT_EQ(E_NOTIMPL, extension->GetDeviceIcon(nullptr, nullptr, 16));

    ComPtr<IShellPropSheetExt> sheet;
    ASSERT_EQ(S_OK, extension.As(&sheet));
    EXPECT_EQ(E_NOTIMPL, sheet->ReplacePage(1, nullptr, 0));

    // DeviceDialog without its record is refused before anything else.
    EXPECT_EQ(E_INVALIDARG, extension->DeviceDialog(nullptr));

    ComPtr<IShellExtInit> init;
    ASSERT_EQ(S_OK, extension.As(&init));
    EXPECT_EQ(E_INVALIDARG, init->Initialize(nullptr, nullptr, nullptr));
}

} // namespace
