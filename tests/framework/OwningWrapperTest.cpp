#include <gtest/gtest.h>

#include <windows.h>

#include <type_traits>

#include "framework/CBrush.h"
#include "framework/CFont.h"
#include "framework/CHandle.h"

// Two wrappers of one handle would release it twice.
static_assert(!std::is_copy_constructible<CBrush>::value && !std::is_copy_assignable<CBrush>::value,
              "a brush wrapper must not be copied");
static_assert(!std::is_copy_constructible<CFont>::value && !std::is_copy_assignable<CFont>::value,
              "a font wrapper must not be copied");
static_assert(!std::is_copy_constructible<CHandle>::value &&
                  !std::is_copy_assignable<CHandle>::value,
              "a handle wrapper must not be copied");

namespace {

bool IsOpenHandle(HANDLE hHandle)
{
    DWORD dwFlags = 0;
    return GetHandleInformation(hHandle, &dwFlags) != FALSE;
}

} // namespace

TEST(CGdiObject, DeletesTheObjectItOwns)
{
    HBRUSH hBrush = NULL;
    {
        CBrush brush;
        EXPECT_TRUE(brush.CreateSolidBrush(RGB(1, 2, 3)));
        hBrush = brush;
        ASSERT_EQ(static_cast<DWORD>(OBJ_BRUSH), GetObjectType(hBrush));
    }
    EXPECT_EQ(0u, static_cast<unsigned>(GetObjectType(hBrush)));
}

TEST(CGdiObject, AttachReplacesButKeepsTheObjectItHolds)
{
    HBRUSH hFirst = CreateSolidBrush(RGB(1, 2, 3));
    HBRUSH hSecond = CreateSolidBrush(RGB(4, 5, 6));
    CBrush brush;
    brush.Attach(hFirst);
    EXPECT_TRUE(brush.Attach(hFirst));
    EXPECT_EQ(static_cast<DWORD>(OBJ_BRUSH), GetObjectType(hFirst)) << "deleted on re-attach";
    EXPECT_EQ(hFirst, brush.GetSafeHandle());
    brush.Attach(hSecond);
    EXPECT_EQ(0u, static_cast<unsigned>(GetObjectType(hFirst))) << "the replaced brush stays";
    EXPECT_EQ(hSecond, brush.GetSafeHandle());
}

TEST(CGdiObject, DetachGivesUpOwnership)
{
    HBRUSH hBrush = CreateSolidBrush(RGB(1, 2, 3));
    {
        CBrush brush;
        brush.Attach(hBrush);
        EXPECT_EQ(hBrush, brush.Detach());
        EXPECT_EQ(nullptr, brush.GetSafeHandle());
    }
    EXPECT_EQ(static_cast<DWORD>(OBJ_BRUSH), GetObjectType(hBrush));
    DeleteObject(hBrush);
}

TEST(CHandle, ClosesTheHandleItOwns)
{
    HANDLE hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    ASSERT_NE(nullptr, hEvent);
    {
        const CHandle event(hEvent);
        EXPECT_EQ(hEvent, static_cast<HANDLE>(event));
        EXPECT_TRUE(IsOpenHandle(hEvent));
    }
    EXPECT_FALSE(IsOpenHandle(hEvent));
}

TEST(CHandle, AttachReplacesButKeepsTheHandleItHolds)
{
    HANDLE hFirst = CreateEventA(NULL, TRUE, FALSE, NULL);
    HANDLE hSecond = CreateEventA(NULL, TRUE, FALSE, NULL);
    CHandle handle(hFirst);
    handle.Attach(hFirst);
    EXPECT_TRUE(IsOpenHandle(hFirst)) << "closed on re-attach";
    handle.Attach(hSecond);
    EXPECT_FALSE(IsOpenHandle(hFirst)) << "the replaced handle stays open";
    EXPECT_EQ(hSecond, static_cast<HANDLE>(handle));
}

TEST(CHandle, DetachGivesUpOwnership)
{
    HANDLE hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    {
        CHandle handle(hEvent);
        EXPECT_EQ(hEvent, handle.Detach());
        EXPECT_EQ(nullptr, static_cast<HANDLE>(handle));
    }
    EXPECT_TRUE(IsOpenHandle(hEvent));
    CloseHandle(hEvent);
}
