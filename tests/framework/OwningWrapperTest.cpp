#include <gtest/gtest.h>

#include <windows.h>

#include <objbase.h>

#include <string>
#include <type_traits>

#include "framework/CBrush.h"
#include "framework/CComApartment.h"
#include "framework/CFont.h"
#include "framework/CHandle.h"
#include "framework/CWinApp.h"
#include "support/TestPaths.h"

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

// Whether this thread is in a single-threaded apartment, asked the way every system answers:
// entering one again says S_FALSE, and is undone at once.
bool InSingleThreadedApartment()
{
    const HRESULT hr = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(hr))
        CoUninitialize();
    return hr == S_FALSE;
}

// COM's own global interface table: an in-process object every system has.
const CLSID kClsidGlobalInterfaceTable = {
    0x00000323, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kIidUnknown = {
    0x00000000, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

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

TEST(CComApartment, EntersOnceWhenFirstAskedAndLeavesAsItGoes)
{
    ASSERT_FALSE(InSingleThreadedApartment());
    {
        CComApartment apartment;
        EXPECT_FALSE(InSingleThreadedApartment()) << "entered before it was asked to";
        void* pObject = &apartment;
        EXPECT_EQ(CO_E_NOTINITIALIZED,
                  apartment.CreateInstance(kClsidGlobalInterfaceTable, CLSCTX_INPROC_SERVER,
                                           kIidUnknown, &pObject));
        EXPECT_EQ(nullptr, pObject);

        EXPECT_EQ(S_OK, apartment.Enter());
        EXPECT_EQ(S_OK, apartment.Enter());
        EXPECT_TRUE(InSingleThreadedApartment());
        ASSERT_EQ(S_OK, apartment.CreateInstance(kClsidGlobalInterfaceTable, CLSCTX_INPROC_SERVER,
                                                 kIidUnknown, &pObject));
        static_cast<IUnknown*>(pObject)->Release();
    }
    // Entered twice but left once would leave the thread in the apartment.
    EXPECT_FALSE(InSingleThreadedApartment()) << "the apartment was not left";

    // A thread in an apartment already is left in it: the answer is S_FALSE, left once.
    ASSERT_EQ(S_OK, CoInitializeEx(NULL, COINIT_APARTMENTTHREADED));
    {
        CComApartment apartment;
        EXPECT_EQ(S_FALSE, apartment.Enter());
    }
    EXPECT_TRUE(InSingleThreadedApartment()) << "the outer apartment was left too";
    CoUninitialize();
}

// Only the system folder is looked in: a file of that name in the current folder, which
// LoadLibrary would find (and refuse, not being a DLL), is never tried.
TEST(AfxLoadSystemLibrary, LooksInTheSystemFolderAlone)
{
    const std::string dir = MakeScratchDir("syslib");
    char szBefore[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, szBefore);
    ASSERT_TRUE(SetCurrentDirectoryA(dir.c_str()));
    WriteFileText(dir + "\\fi-only-here.dll", "not a program");
    EXPECT_EQ(nullptr, LoadLibraryA("fi-only-here.dll"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_EXE_FORMAT), GetLastError()) << "the file was not found";
    EXPECT_EQ(nullptr, AfxLoadSystemLibrary("fi-only-here.dll"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
    SetCurrentDirectoryA(szBefore);
    RemoveScratchDir(dir);

    const HMODULE hModule = AfxLoadSystemLibrary("oleacc.dll");
    ASSERT_NE(nullptr, hModule) << "error " << GetLastError();
    char szModule[MAX_PATH], szSystem[MAX_PATH], szWow64[MAX_PATH];
    GetModuleFileNameA(hModule, szModule, MAX_PATH);
    const UINT cchSystem = GetSystemDirectoryA(szSystem, MAX_PATH);
    // A 32-bit process on 64-bit Windows names its system folder System32 and is served
    // SysWOW64, which is what its modules' names say.
    const UINT cchWow64 = GetSystemWow64DirectoryA(szWow64, MAX_PATH);
    EXPECT_TRUE(_strnicmp(szModule, szSystem, cchSystem) == 0 ||
                (cchWow64 != 0 && _strnicmp(szModule, szWow64, cchWow64) == 0))
        << szModule;
    FreeLibrary(hModule);

    EXPECT_EQ(nullptr, AfxLoadSystemLibrary(std::string(MAX_PATH, 'a').c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), GetLastError());
}
