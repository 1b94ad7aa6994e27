// The module count as the class factory and the extension object move it. These tests
// link the core, so they can read the count itself; tests/dll repeats the behaviours a
// host can see through the exports of the shipped DLL.
#include "com/class_factory.h"
#include "com/module.h"
#include "com/ui_extension.h"

#include <gtest/gtest.h>

#include <wrl/client.h>

using Microsoft::WRL::ComPtr;
using uiext2::ModuleRefCount;

namespace
{

IClassFactory* Factory()
{
    return &uiext2::UiExtensionClassFactory::Instance();
}

class ComFrameTest : public testing::Test
{
protected:
    void SetUp() override { start_ = ModuleRefCount(); }
    void TearDown() override { EXPECT_EQ(start_, ModuleRefCount()) << "a test leaked a module reference"; }
    LONG start_ = 0;
};

TEST_F(ComFrameTest, GetClassObjectCountsTheFactoryReference)
{
    for (const IID* iid : {&IID_IUnknown, &IID_IClassFactory})
    {
        void* object = nullptr;
        ASSERT_EQ(S_OK, uiext2::GetClassObject(uiext2::CLSID_UiExtension, *iid, &object));
        EXPECT_EQ(Factory(), object);
        EXPECT_EQ(start_ + 1, ModuleRefCount());
        EXPECT_EQ(S_FALSE, uiext2::CanUnloadNow());
        static_cast<IUnknown*>(object)->Release();
        EXPECT_EQ(start_, ModuleRefCount());
    }

    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, uiext2::GetClassObject(uiext2::CLSID_UiExtension, IID_IDispatch, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(start_, ModuleRefCount());
}

TEST_F(ComFrameTest, FactoryCountsAreConstantAndLocksMoveTheModule)
{
    EXPECT_EQ(2u, Factory()->AddRef());
    EXPECT_EQ(2u, Factory()->AddRef());
    EXPECT_EQ(start_ + 2, ModuleRefCount());
    EXPECT_EQ(1u, Factory()->Release());
    EXPECT_EQ(1u, Factory()->Release());

    EXPECT_EQ(S_OK, Factory()->LockServer(TRUE));
    EXPECT_EQ(start_ + 1, ModuleRefCount());
    EXPECT_EQ(S_OK, Factory()->LockServer(FALSE));
    EXPECT_EQ(S_OK, Factory()->LockServer(FALSE)); // one unlock too many: negative
    EXPECT_EQ(start_ - 1, ModuleRefCount());
    EXPECT_EQ(S_FALSE, uiext2::CanUnloadNow()) << "a negative count is not zero";
    EXPECT_EQ(S_OK, Factory()->LockServer(TRUE));
}

TEST_F(ComFrameTest, AnObjectHoldsTheModuleOnceWhateverItsCount)
{
    ComPtr<IWiaUIExtension2> extension;
    ASSERT_EQ(S_OK, Factory()->CreateInstance(nullptr, IID_IWiaUIExtension2,
                                              reinterpret_cast<void**>(extension.GetAddressOf())));
    EXPECT_EQ(start_ + 1, ModuleRefCount());

    ComPtr<IShellExtInit> init;
    ASSERT_EQ(S_OK, extension.As(&init));
    ComPtr<IShellPropSheetExt> sheet;
    ASSERT_EQ(S_OK, extension.As(&sheet));
    EXPECT_EQ(start_ + 1, ModuleRefCount());

    // The three interfaces share one count.
    EXPECT_EQ(4u, init->AddRef());
    EXPECT_EQ(5u, sheet->AddRef());
    EXPECT_EQ(4u, extension->Release());
    EXPECT_EQ(3u, init->Release());

    extension.Reset();
    init.Reset();
    EXPECT_EQ(start_ + 1, ModuleRefCount());
    sheet.Reset();
    EXPECT_EQ(start_, ModuleRefCount());
}

TEST_F(ComFrameTest, FailedCreateInstanceLeavesNoObjectBehind)
{
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, Factory()->CreateInstance(nullptr, IID_IDispatch, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(start_, ModuleRefCount());

    // The earlier WIA UI extension interface is not answered.
    const IID iidWiaUiExtension1 = {0xda319113, 0x50ee, 0x4c80, {0xb4, 0x60, 0x57, 0xd0, 0x05, 0xd4, 0x4a, 0x2c}};
    EXPECT_EQ(E_NOINTERFACE, Factory()->CreateInstance(nullptr, iidWiaUiExtension1, &object));
    EXPECT_EQ(start_, ModuleRefCount());

    ComPtr<IUnknown> outer;
    ASSERT_EQ(S_OK, Factory()->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(outer.GetAddressOf())));
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, Factory()->CreateInstance(outer.Get(), IID_IUnknown, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(E_POINTER, Factory()->CreateInstance(nullptr, IID_IUnknown, nullptr));
}

} // namespace
