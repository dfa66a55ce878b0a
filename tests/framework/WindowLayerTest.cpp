#include <memory>

#include <gtest/gtest.h>

#include "framework/CClientDC.h"
#include "framework/CPaintDC.h"
#include "framework/CStatic.h"
#include "support/TestWindows.h"

namespace {

class CBaseProbe : public CTestParent {
public:
    int m_nChars = 0;
    UINT m_nLastRepeat = 0;

protected:
    void OnChar(UINT, UINT nRepCnt, UINT)
    {
        ++m_nChars;
        m_nLastRepeat = nRepCnt;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CBaseProbe, CTestParent)
ON_WM_CHAR()
END_MESSAGE_MAP()

class CDerivedProbe : public CBaseProbe {
public:
    UINT_PTR m_nLastTimer = 0;

protected:
    void OnTimer(UINT_PTR nIDEvent) { m_nLastTimer = nIDEvent; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CDerivedProbe, CBaseProbe)
ON_WM_TIMER()
END_MESSAGE_MAP()

// A static control that answers its parent's colour request with a brush, or declines.
class CColouredStatic : public CStatic {
public:
    HBRUSH m_hAnswer = NULL;
    UINT m_nLastType = 0xffffffff;

protected:
    HBRUSH CtlColor(CDC*, UINT nCtlColor)
    {
        m_nLastType = nCtlColor;
        return m_hAnswer;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CColouredStatic, CStatic)
ON_WM_CTLCOLOR_REFLECT()
END_MESSAGE_MAP()

} // namespace

TEST(MessageMap, DerivedTableFallsBackToBaseTable)
{
    CDerivedProbe wnd;
    ASSERT_TRUE(wnd.Create("message map", 200, 100));
    wnd.SendMessage(WM_TIMER, 42, 0);
    EXPECT_EQ(42u, wnd.m_nLastTimer);
    wnd.SendMessage(WM_CHAR, 'x', MAKELPARAM(3, 0));
    EXPECT_EQ(1, wnd.m_nChars);
    EXPECT_EQ(3u, wnd.m_nLastRepeat);
}

TEST(MessageMap, UnmappedMessagesReachTheWindowsOwnProcedure)
{
    CDerivedProbe wnd;
    ASSERT_TRUE(wnd.Create("own procedure", 200, 100));
    char szText[32] = "";
    wnd.SendMessage(WM_GETTEXT, sizeof szText, reinterpret_cast<LPARAM>(szText));
    EXPECT_STREQ("own procedure", szText);
}

TEST(MessageMap, DestroyedWindowLeavesItsObject)
{
    CTestParent wnd;
    ASSERT_TRUE(wnd.Create("destroyed", 200, 100));
    HWND hWnd = wnd.GetSafeHwnd();
    EXPECT_EQ(&wnd, CWnd::FromHandlePermanent(hWnd));
    ASSERT_TRUE(DestroyWindow(hWnd));
    EXPECT_EQ(nullptr, wnd.GetSafeHwnd());
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(hWnd));
}

namespace {

// A line that notes the last timer it was sent.
class CTimerStatic : public CStatic {
public:
    UINT_PTR m_nLastTimer = 0;

protected:
    void OnTimer(UINT_PTR nIDEvent) { m_nLastTimer = nIDEvent; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CTimerStatic, CStatic)
ON_WM_TIMER()
END_MESSAGE_MAP()

struct CLookUp {
    HWND hWnd;
    CWnd* pFound;
};

DWORD WINAPI LookUpOnOtherThread(LPVOID pParam)
{
    CLookUp* pLookUp = static_cast<CLookUp*>(pParam);
    pLookUp->pFound = CWnd::FromHandlePermanent(pLookUp->hWnd);
    return 0;
}

} // namespace

// More windows than the framework keeps close at hand, messages sent round them in turns, and
// every other one destroyed and made again half-way: each message, and each look-up on this
// thread or another, finds the window's own object.
TEST(MessageMap, EveryWindowFindsItsOwnObject)
{
    CTestParent parent;
    ASSERT_TRUE(parent.Create("many", 200, 100));
    const int kWindows = 40;
    std::unique_ptr<CTimerStatic> windows[kWindows];
    const RECT rc = {0, 0, 10, 10};
    for (int nRound = 1; nRound <= 2; ++nRound) {
        for (int i = 0; i < kWindows; ++i) {
            if (nRound == 2 && i % 2 != 0)
                continue;
            windows[i].reset(new CTimerStatic);
            ASSERT_TRUE(windows[i]->Create("line", WS_CHILD, rc, &parent)) << i;
        }
        for (int i = 0; i < kWindows; ++i)
            windows[i]->SendMessage(WM_TIMER, nRound * 100 + i, 0);
        for (int i = 0; i < kWindows; ++i) {
            EXPECT_EQ(static_cast<UINT_PTR>(nRound * 100 + i), windows[i]->m_nLastTimer) << i;
            EXPECT_EQ(windows[i].get(), CWnd::FromHandlePermanent(*windows[i])) << i;
            CLookUp lookUp = {*windows[i], nullptr};
            HANDLE hThread = CreateThread(NULL, 0, LookUpOnOtherThread, &lookUp, 0, NULL);
            ASSERT_NE(nullptr, hThread);
            WaitForSingleObject(hThread, INFINITE);
            CloseHandle(hThread);
            EXPECT_EQ(windows[i].get(), lookUp.pFound) << "window " << i << ", from another thread";
        }
    }
}

TEST(Reflection, ParentUsesTheChildsBrush)
{
    CTestParent parent;
    ASSERT_TRUE(parent.Create("reflection", 200, 100));
    CColouredStatic child;
    const RECT rc = {10, 10, 100, 30};
    ASSERT_TRUE(child.Create("line", WS_CHILD | WS_VISIBLE, rc, &parent));
    HBRUSH hBrush = CreateSolidBrush(RGB(1, 2, 3));
    child.m_hAnswer = hBrush;

    HDC hDC = GetDC(child);
    const LRESULT lResult = parent.SendMessage(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(hDC),
                                               reinterpret_cast<LPARAM>(child.GetSafeHwnd()));
    ReleaseDC(child, hDC);
    EXPECT_EQ(reinterpret_cast<LRESULT>(hBrush), lResult);
    EXPECT_EQ(static_cast<UINT>(CTLCOLOR_STATIC), child.m_nLastType);
    child.DestroyWindow();
    DeleteObject(hBrush);
}

TEST(Reflection, ParentsDefaultRunsWhenTheChildDeclines)
{
    CTestParent parent;
    ASSERT_TRUE(parent.Create("reflection", 200, 100));
    CColouredStatic child;
    const RECT rc = {10, 10, 100, 30};
    ASSERT_TRUE(child.Create("line", WS_CHILD | WS_VISIBLE, rc, &parent));

    HDC hDC = GetDC(child);
    const LRESULT lResult = parent.SendMessage(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(hDC),
                                               reinterpret_cast<LPARAM>(child.GetSafeHwnd()));
    ReleaseDC(child, hDC);
    EXPECT_EQ(static_cast<UINT>(CTLCOLOR_STATIC), child.m_nLastType);
    EXPECT_EQ(reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE)), lResult);
}

TEST(CStatic, CreatesAChildStaticWithTheGivenTextStyleAndId)
{
    CTestParent parent;
    ASSERT_TRUE(parent.Create("static", 200, 100));
    CStatic label;
    const RECT rc = {0, 0, 0, 0};
    ASSERT_TRUE(label.Create("Installing", WS_CHILD | WS_VISIBLE, rc, &parent, 0xffff));
    char szClass[16] = "";
    GetClassNameA(label, szClass, sizeof szClass);
    EXPECT_STREQ("Static", szClass);
    EXPECT_EQ(parent.GetSafeHwnd(), GetParent(label));
    EXPECT_EQ(0xffff, GetDlgCtrlID(label));
    EXPECT_EQ(static_cast<DWORD>(WS_CHILD | WS_VISIBLE), label.GetStyle());
    CString strText;
    label.GetWindowText(strText);
    EXPECT_STREQ("Installing", strText);
}

TEST(CPaintDC, ValidatesTheWindowLikeBeginPaint)
{
    CTestParent wnd;
    ASSERT_TRUE(wnd.Create("paint", 200, 100));
    PumpMessagesFor(50);
    wnd.InvalidateRect(NULL, FALSE);
    ASSERT_TRUE(GetUpdateRect(wnd, NULL, FALSE));
    {
        CPaintDC dc(&wnd);
        EXPECT_NE(nullptr, dc.GetSafeHdc());
    }
    EXPECT_FALSE(GetUpdateRect(wnd, NULL, FALSE));
}

TEST(CClientDC, GivesTheWindowsOwnDeviceContext)
{
    CTestParent wnd;
    ASSERT_TRUE(wnd.Create("client", 200, 100));
    CClientDC dc(&wnd);
    ASSERT_NE(nullptr, dc.GetSafeHdc());
    EXPECT_EQ(wnd.GetSafeHwnd(), WindowFromDC(dc));
}
