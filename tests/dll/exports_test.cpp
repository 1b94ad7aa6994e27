// The four exports of the shipped DLL, as a host calls them.
#include "dll_host.h"

#include <gtest/gtest.h>

#include <objbase.h>

using testhost::CLSID_UiExtension;
using testhost::Dll;

namespace
{

const CLSID kOtherClass = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};

TEST(Exports, AllFourResolve)
{
    ASSERT_NE(nullptr, Dll().module) << "uiext2.dll must load beside the test program";
    EXPECT_NE(nullptr, Dll().DllGetClassObject);
    EXPECT_NE(nullptr, Dll().DllCanUnloadNow);
    EXPECT_NE(nullptr, Dll().DllRegisterServer);
    EXPECT_NE(nullptr, Dll().DllUnregisterServer);
}

TEST(Exports, GetClassObjectArguments)
{
    // A null out pointer is E_INVALIDARG, whatever the class.
    EXPECT_EQ(E_INVALIDARG, Dll().DllGetClassObject(CLSID_UiExtension, IID_IClassFactory, nullptr));
    EXPECT_EQ(E_INVALIDARG, Dll().DllGetClassObject(kOtherClass, IID_IClassFactory, nullptr));

    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, Dll().DllGetClassObject(kOtherClass, IID_IClassFactory, &object));
    EXPECT_EQ(nullptr, object);

    // A CLSID equal but for its last byte is another class: the whole 16 bytes count.
    CLSID almost = CLSID_UiExtension;
    almost.Data4[7] ^= 1;
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, Dll().DllGetClassObject(almost, IID_IUnknown, &object));
    EXPECT_EQ(nullptr, object);

    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, Dll().DllGetClassObject(CLSID_UiExtension, IID_IDispatch, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(S_OK, Dll().DllCanUnloadNow()) << "a refused query must leave no reference";
}

TEST(Exports, CanUnloadNowFollowsFactoryAndObjects)
{
    ASSERT_EQ(S_OK, Dll().DllCanUnloadNow());

    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, Dll().DllGetClassObject(CLSID_UiExtension, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    EXPECT_EQ(S_FALSE, Dll().DllCanUnloadNow());

    IUnknown* object = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)));
    factory->Release();
    EXPECT_EQ(S_FALSE, Dll().DllCanUnloadNow()) << "a live object holds the module";
    object->Release();
    EXPECT_EQ(S_OK, Dll().DllCanUnloadNow());

    ASSERT_EQ(S_OK, Dll().DllGetClassObject(CLSID_UiExtension, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    factory->Release();
    EXPECT_EQ(S_FALSE, Dll().DllCanUnloadNow()) << "a server lock holds the module";
    EXPECT_EQ(S_OK, factory->LockServer(FALSE)); // the factory is static: usable after its Release
    EXPECT_EQ(S_OK, Dll().DllCanUnloadNow());
}

TEST(Exports, RegistrationWritesNothing)
{
    const char* key = "CLSID\\{2BCA3E51-192D-430D-9D2E-CBF18030EAD7}";
    HKEY opened = nullptr;
    ASSERT_NE(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_CLASSES_ROOT, key, 0, KEY_READ, &opened));

    EXPECT_EQ(S_OK, Dll().DllRegisterServer());
    EXPECT_NE(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_CLASSES_ROOT, key, 0, KEY_READ, &opened));
    EXPECT_EQ(S_OK, Dll().DllUnregisterServer());
    EXPECT_NE(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_CLASSES_ROOT, key, 0, KEY_READ, &opened));
    EXPECT_EQ(S_OK, Dll().DllCanUnloadNow());
}

} // namespace
