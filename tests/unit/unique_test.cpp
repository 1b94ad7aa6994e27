// The unique-handle template, once, with a recording close.
#include "support/unique.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

std::vector<int> g_closed;

struct FakeTraits
{
    using pointer = int;
    static constexpr pointer invalid() noexcept { return -1; }
    static void close(pointer value) noexcept { g_closed.push_back(value); }
};
using UniqueFake = uiext2::Unique<FakeTraits>;

class UniqueTest : public testing::Test
{
protected:
    void SetUp() override { g_closed.clear(); }
};

TEST_F(UniqueTest, ClosesOnceAtScopeEnd)
{
    {
        UniqueFake a(7);
        EXPECT_TRUE(a);
        EXPECT_EQ(7, a.get());
        UniqueFake empty;
        EXPECT_FALSE(empty);
    }
    EXPECT_EQ(std::vector<int>{7}, g_closed);
}

TEST_F(UniqueTest, MoveTransfersOwnership)
{
    UniqueFake a(1);
    UniqueFake b(std::move(a));
    EXPECT_FALSE(a);
    EXPECT_EQ(1, b.get());
    UniqueFake c(2);
    c = std::move(b); // closes 2, takes 1
    EXPECT_EQ(std::vector<int>{2}, g_closed);
    UniqueFake& same = c; // a self-move on purpose, which clang would flag if written plainly
    c = std::move(same);  // self-move keeps the value
    EXPECT_EQ(1, c.get());
    c.reset();
    EXPECT_EQ((std::vector<int>{2, 1}), g_closed);
    c.reset(); // nothing left to close
    EXPECT_EQ(2u, g_closed.size());
}

TEST_F(UniqueTest, PutAndReleaseAndReset)
{
    UniqueFake a(3);
    *a.put() = 4; // put() closes what was held first
    EXPECT_EQ(std::vector<int>{3}, g_closed);
    EXPECT_EQ(4, a.release());
    EXPECT_FALSE(a);
    a.reset(5);
    a.reset(6);
    EXPECT_EQ((std::vector<int>{3, 5}), g_closed);
}

TEST(UniqueAliases, RealHandlesClose)
{
    // One real kernel handle through the alias, to see the traits fit the platform.
    uiext2::UniqueHandle event(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event);
    HANDLE raw = event.get();
    DWORD flags = 0;
    EXPECT_TRUE(::GetHandleInformation(raw, &flags));
    event.reset();
    EXPECT_FALSE(::GetHandleInformation(raw, &flags));

    uiext2::UniqueFile file(
        ::CreateFileA("NUL-does-not-exist\\x", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(file); // INVALID_HANDLE_VALUE is the empty state for file handles
}

} // namespace
