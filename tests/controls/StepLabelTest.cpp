#include <gtest/gtest.h>

#include <string.h>

#include <vector>

#include "controls/CLiveRegionService.h"
#include "controls/CStepLabel.h"
#include "framework/CHandle.h"
#include "support/HandleCount.h"
#include "support/TestPaths.h"
#include "support/TestWindows.h"

namespace {

// A parent window of the test's own with one line in it, shown and painted.
class StepLabelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(parent.Create("lines", 400, 200));
        CreateLine(WS_CHILD | WS_VISIBLE);
    }

    void CreateLine(DWORD dwStyle)
    {
        const RECT rc = {10, 10, 210, 40};
        ASSERT_TRUE(label.Create("Installing the drivers", dwStyle, rc, &parent));
        PumpMessagesFor(50);
    }

    // What the line answers to its parent's colour request, in a device context of its own.
    struct ColourAnswer {
        HBRUSH hBrush;
        HFONT hFont;
        LOGFONTA font;
        COLORREF textColour;
        int bkMode;
    };
    ColourAnswer AskColours() { return AskColours(label); }
    ColourAnswer AskColours(const CWnd& line)
    {
        HDC hDC = GetDC(line);
        ColourAnswer answer;
        answer.hBrush = reinterpret_cast<HBRUSH>(
            parent.SendMessage(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(hDC),
                               reinterpret_cast<LPARAM>(line.GetSafeHwnd())));
        answer.hFont = static_cast<HFONT>(GetCurrentObject(hDC, OBJ_FONT));
        answer.font = SelectedFont(hDC);
        answer.textColour = GetTextColor(hDC);
        answer.bkMode = GetBkMode(hDC);
        ReleaseDC(line, hDC);
        return answer;
    }

    CTestParent parent;
    CStepLabel label;
};

LOGFONTA DefaultGuiFont()
{
    LOGFONTA lf = {};
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
    return lf;
}

COLORREF BrushColour(HBRUSH hBrush)
{
    LOGBRUSH lb = {};
    GetObjectA(hBrush, sizeof lb, &lb);
    return lb.lbColor;
}

void ExpectSameFaceAsDefaultGuiFont(const LOGFONTA& lf)
{
    const LOGFONTA expected = DefaultGuiFont();
    EXPECT_STREQ(expected.lfFaceName, lf.lfFaceName);
    EXPECT_EQ(expected.lfHeight, lf.lfHeight);
    EXPECT_EQ(expected.lfItalic, lf.lfItalic);
    EXPECT_EQ(expected.lfUnderline, lf.lfUnderline);
    EXPECT_EQ(expected.lfCharSet, lf.lfCharSet);
}

} // namespace

TEST_F(StepLabelTest, ColourRequestSelectsTheLinesFontColourAndTransparentMode)
{
    const ColourAnswer answer = AskColours();
    ExpectSameFaceAsDefaultGuiFont(answer.font);
    EXPECT_EQ(DefaultGuiFont().lfWeight, answer.font.lfWeight);
    EXPECT_NE(GetStockObject(DEFAULT_GUI_FONT), answer.hFont) << "the line draws with a copy";
    EXPECT_EQ(GetSysColor(COLOR_WINDOWTEXT), answer.textColour);
    EXPECT_EQ(TRANSPARENT, answer.bkMode);
    ASSERT_NE(nullptr, answer.hBrush);
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), BrushColour(answer.hBrush));
}

TEST_F(StepLabelTest, BackgroundFlashAnswersWithTheFlashBrushInPhaseZero)
{
    const HBRUSH hFace = AskColours().hBrush;
    label.SetFlashMode(CStepLabel::kFlashBackground);
    const HBRUSH hFlash = AskColours().hBrush;
    EXPECT_NE(hFace, hFlash);
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), BrushColour(hFlash));

    label.SendMessage(WM_TIMER, 1, 0);
    EXPECT_EQ(hFace, AskColours().hBrush);
    label.SendMessage(WM_TIMER, 1, 0);
    EXPECT_EQ(hFlash, AskColours().hBrush);
}

TEST_F(StepLabelTest, TimerWithoutFlashOnlyTogglesThePhase)
{
    const HBRUSH hFace = AskColours().hBrush;
    label.SendMessage(WM_TIMER, 1, 0);
    CString strText;
    label.GetWindowText(strText);
    EXPECT_STREQ("Installing the drivers", strText);
    EXPECT_EQ(hFace, AskColours().hBrush);
    // The phase did turn: a background flash switched on now starts in phase 1.
    label.SetFlashMode(CStepLabel::kFlashBackground);
    EXPECT_EQ(hFace, AskColours().hBrush);
}

TEST_F(StepLabelTest, TextFlashEmptiesThenRestoresTheText)
{
    label.SetFlashMode(CStepLabel::kFlashText);
    label.SetFlashText("Flashing");
    CString strText;
    label.SendMessage(WM_TIMER, 1, 0);
    label.GetWindowText(strText);
    EXPECT_STREQ("", strText);
    label.SendMessage(WM_TIMER, 1, 0);
    label.GetWindowText(strText);
    EXPECT_STREQ("Flashing", strText);
}

TEST_F(StepLabelTest, SetBoldChangesOnlyTheWeightAndNotTheSize)
{
    RECT rcBefore;
    label.GetWindowRect(&rcBefore);

    label.SetBold(TRUE);
    const ColourAnswer bold = AskColours();
    EXPECT_EQ(FW_BOLD, bold.font.lfWeight);
    ExpectSameFaceAsDefaultGuiFont(bold.font);

    label.SetBold(FALSE);
    const ColourAnswer normal = AskColours();
    EXPECT_EQ(FW_NORMAL, normal.font.lfWeight);
    ExpectSameFaceAsDefaultGuiFont(normal.font);

    RECT rcAfter;
    label.GetWindowRect(&rcAfter);
    EXPECT_TRUE(EqualRect(&rcBefore, &rcAfter));
}

TEST_F(StepLabelTest, SetBoldAgainStillRebuildsTheFontAndRepaints)
{
    label.SetBold(TRUE);
    const HFONT hFirst = AskColours().hFont;
    const LONG nRequestsBefore = parent.m_nColourRequests;
    label.SetBold(TRUE).SetBold(TRUE);
    EXPECT_GE(parent.m_nColourRequests - nRequestsBefore, 2) << "each call repaints at once";
    const ColourAnswer again = AskColours();
    EXPECT_NE(hFirst, again.hFont);
    EXPECT_EQ(0u, static_cast<unsigned>(GetObjectType(hFirst))) << "the old font is deleted";
    EXPECT_EQ(FW_BOLD, again.font.lfWeight);
}

namespace {

struct BoldFromWorker {
    CStepLabel* pLabel;
    CTestParent* pParent;
    LONG nRequestsBefore;
    LONG nRequestsAfter;
    HANDLE hReturned; // set once SetBold has returned
};

DWORD WINAPI SetBoldOnWorker(LPVOID pParam)
{
    BoldFromWorker* pWork = static_cast<BoldFromWorker*>(pParam);
    pWork->nRequestsBefore = pWork->pParent->m_nColourRequests;
    pWork->pLabel->SetBold(TRUE);
    pWork->nRequestsAfter = pWork->pParent->m_nColourRequests;
    SetEvent(pWork->hReturned);
    return 0;
}

HWND g_hWndWatched = NULL;
int g_nSetBoldSeen = 0;
DWORD g_dwSetBoldThread = 0;
HANDLE g_hWorkerReturned = NULL;
// Whether the worker's SetBold had returned by the time the line's handling of it ended.
bool g_bReturnedBeforeHandled = false;
int g_nAnnounced = 0;

LRESULT CALLBACK WatchSetBold(int nCode, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* pMsg = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (nCode == HC_ACTION && pMsg->hwnd == g_hWndWatched &&
        pMsg->message == CStepLabel::WM_SETBOLD) {
        ++g_nSetBoldSeen;
        g_dwSetBoldThread = GetCurrentThreadId();
    }
    return CallNextHookEx(NULL, nCode, wParam, lParam);
}

// After the line's handler: a worker still held until here would never set its event, and
// the wait ends unanswered.
LRESULT CALLBACK WatchSetBoldHandled(int nCode, WPARAM wParam, LPARAM lParam)
{
    const CWPRETSTRUCT* pMsg = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (nCode == HC_ACTION && pMsg->hwnd == g_hWndWatched &&
        pMsg->message == CStepLabel::WM_SETBOLD)
        g_bReturnedBeforeHandled = WaitForSingleObject(g_hWorkerReturned, 5000) == WAIT_OBJECT_0;
    return CallNextHookEx(NULL, nCode, wParam, lParam);
}

void CALLBACK CountAnnouncement(HWINEVENTHOOK, DWORD, HWND hWnd, LONG, LONG, DWORD, DWORD)
{
    if (hWnd == g_hWndWatched)
        ++g_nAnnounced;
}

// EVENT_OBJECT_LIVEREGIONCHANGED of this process, delivered to this thread as it handles its
// messages, counted in g_nAnnounced for the window g_hWndWatched, while the object lives.
class CAnnouncementCounter {
public:
    explicit CAnnouncementCounter(HWND hWnd)
        : m_hEvents(SetWinEventHook(0x8019, 0x8019, NULL, CountAnnouncement, GetCurrentProcessId(),
                                    0, WINEVENT_OUTOFCONTEXT))
    {
        g_hWndWatched = hWnd;
        g_nAnnounced = 0;
    }
    ~CAnnouncementCounter()
    {
        if (m_hEvents != NULL)
            UnhookWinEvent(m_hEvents);
    }
    CAnnouncementCounter(const CAnnouncementCounter&) = delete;
    CAnnouncementCounter& operator=(const CAnnouncementCounter&) = delete;

    bool Listening() const { return m_hEvents != NULL; }
    void Watch(HWND hWnd) { g_hWndWatched = hWnd; }
    // Handles messages until nWanted announcements have come or dwMilliseconds have passed.
    int PumpUntil(int nWanted, DWORD dwMilliseconds) const
    {
        const DWORD dwStart = GetTickCount();
        while (g_nAnnounced < nWanted && GetTickCount() - dwStart < dwMilliseconds)
            PumpMessagesFor(20);
        return g_nAnnounced;
    }

private:
    HWINEVENTHOOK m_hEvents;
};

// A deferred announcement comes within this; the line puts it off by half a second.
const DWORD kAnnouncedWithinMs = 5000;

} // namespace

// The worker is let go once the line shows bold; the announcement, and the service it may bring
// in first, follow on the window's thread.
TEST_F(StepLabelTest, SetBoldFromAnotherThreadIsDoneOnTheWindowsThreadBeforeItReturns)
{
    CLiveRegionService liveRegions;
    label.AnnounceThrough(&liveRegions);
    g_nSetBoldSeen = 0;
    g_bReturnedBeforeHandled = false;
    HHOOK hHook = SetWindowsHookExA(WH_CALLWNDPROC, WatchSetBold, NULL, GetCurrentThreadId());
    ASSERT_NE(nullptr, hHook);
    HHOOK hHookRet =
        SetWindowsHookExA(WH_CALLWNDPROCRET, WatchSetBoldHandled, NULL, GetCurrentThreadId());
    ASSERT_NE(nullptr, hHookRet);
    const CAnnouncementCounter announcements(label.GetSafeHwnd());
    ASSERT_TRUE(announcements.Listening());

    CHandle returned(CreateEventA(NULL, TRUE, FALSE, NULL));
    g_hWorkerReturned = returned;
    BoldFromWorker work = {&label, &parent, 0, 0, returned};
    HANDLE hThread = CreateThread(NULL, 0, SetBoldOnWorker, &work, 0, NULL);
    ASSERT_NE(nullptr, hThread);
    // The worker waits for this thread: keep handling messages until it is done.
    DWORD dwWait = WAIT_TIMEOUT;
    const DWORD dwStart = GetTickCount();
    while (GetTickCount() - dwStart < 10000) {
        dwWait = MsgWaitForMultipleObjects(1, &hThread, FALSE, 100, QS_ALLINPUT);
        if (dwWait == WAIT_OBJECT_0)
            break;
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
    CloseHandle(hThread);
    announcements.PumpUntil(1, kAnnouncedWithinMs);
    // Time for a second announcement, were one to come.
    PumpMessagesFor(100);
    UnhookWindowsHookEx(hHookRet);
    UnhookWindowsHookEx(hHook);
    label.AnnounceThrough(NULL);

    ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), dwWait) << "SetBold did not return";
    EXPECT_TRUE(g_bReturnedBeforeHandled) << "the worker was held until the line was announced";
    EXPECT_EQ(1, g_nAnnounced);
    EXPECT_EQ(1, g_nSetBoldSeen);
    EXPECT_EQ(GetCurrentThreadId(), g_dwSetBoldThread);
    EXPECT_GT(work.nRequestsAfter, work.nRequestsBefore) << "returned before the repaint";
    EXPECT_EQ(GetCurrentThreadId(), parent.m_dwColourThread);
    EXPECT_EQ(FW_BOLD, AskColours().font.lfWeight);
}

// The first line to turn bold puts its announcement off while its step's program starts, since
// the service must be brought in first; a line back to normal by then says nothing, and once the
// service is in, a line is announced as it turns bold.
TEST_F(StepLabelTest, FirstAnnouncementIsPutOffAndTakenBackWhenTheLineTurnsNormal)
{
    CLiveRegionService liveRegions;
    label.AnnounceThrough(&liveRegions);
    CStepLabel second;
    const RECT rc = {10, 50, 210, 80};
    ASSERT_TRUE(second.Create("Installing the help", WS_CHILD | WS_VISIBLE, rc, &parent));
    second.AnnounceThrough(&liveRegions);
    PumpMessagesFor(50);
    CAnnouncementCounter announcements(label.GetSafeHwnd());
    ASSERT_TRUE(announcements.Listening());

    label.SetBold(TRUE);
    label.SetBold(FALSE);
    // Beyond the half second the announcement was put off by.
    PumpMessagesFor(1000);
    EXPECT_EQ(0, g_nAnnounced) << "a line back to normal was announced";
    EXPECT_TRUE(liveRegions.IsToBeBroughtIn()) << "the service was brought in for nothing";

    label.SetBold(TRUE);
    EXPECT_EQ(1, announcements.PumpUntil(1, kAnnouncedWithinMs));
    EXPECT_FALSE(liveRegions.IsToBeBroughtIn());

    label.SetBold(FALSE);
    announcements.Watch(second.GetSafeHwnd());
    second.SetBold(TRUE);
    // Well within the half second a put-off announcement waits.
    EXPECT_EQ(2, announcements.PumpUntil(2, 400)) << "put off, though the service was in";
    label.AnnounceThrough(NULL);
    second.AnnounceThrough(NULL);
}

// A line may be switched before its window is made; the weight shows once it is.
TEST_F(StepLabelTest, SetBoldBeforeTheWindowIsMadeShowsOnceItIs)
{
    CStepLabel later;
    later.SetBold(TRUE);
    const RECT rc = {10, 50, 210, 80};
    ASSERT_TRUE(later.Create("Made later", WS_CHILD | WS_VISIBLE, rc, &parent));
    EXPECT_EQ(FW_BOLD, AskColours(later).font.lfWeight);
}

TEST_F(StepLabelTest, LineWithoutNotifyStyleLetsClicksThroughToTheParent)
{
    RECT rc;
    label.GetWindowRect(&rc);
    const POINT pt = {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    EXPECT_EQ(HTTRANSPARENT, label.SendMessage(WM_NCHITTEST, 0, MAKELPARAM(pt.x, pt.y)));
    EXPECT_EQ(parent.GetSafeHwnd(), WindowFromPoint(pt));
}

TEST_F(StepLabelTest, LineWithNotifyStyleOpensItsTextWhenClicked)
{
    const std::string dir = MakeScratchDir("click");
    const std::string record = dir + "\\record.txt";
    SetEnvironmentVariableA("CHILDPROBE_RECORD", record.c_str());
    label.DestroyWindow();
    const RECT rc = {10, 10, 300, 40};
    ASSERT_TRUE(label.Create(ProbePath().c_str(), WS_CHILD | WS_VISIBLE | SS_NOTIFY, rc, &parent));
    RECT rcScreen;
    label.GetWindowRect(&rcScreen);
    const POINT pt = {(rcScreen.left + rcScreen.right) / 2, (rcScreen.top + rcScreen.bottom) / 2};
    EXPECT_EQ(label.GetSafeHwnd(), WindowFromPoint(pt));

    label.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    // The shell starts the program on its own; give it time to write its record.
    for (int i = 0; i < 100 && ReadProbeRuns(record).empty(); ++i)
        PumpMessagesFor(50);
    SetEnvironmentVariableA("CHILDPROBE_RECORD", NULL);
    EXPECT_EQ(1u, ReadProbeRuns(record).size());
    // The folder goes once the program has written its end: a test leaves no file behind.
    for (int i = 0; i < 100 && !ReadProbeRuns(record).empty() && ReadProbeRuns(record)[0].end == 0;
         ++i)
        PumpMessagesFor(50);
    RemoveScratchDir(dir);
    EXPECT_FALSE(FileExists(dir)) << dir << " is left behind";
}

TEST_F(StepLabelTest, OwnCursorIsShownOnlyWhenSet)
{
    label.DestroyWindow();
    CreateLine(WS_CHILD | WS_VISIBLE | SS_NOTIFY);
    const LPARAM lParam = MAKELPARAM(HTCLIENT, WM_MOUSEMOVE);
    HCURSOR hCross = LoadCursor(NULL, IDC_CROSS);
    SetCursor(LoadCursor(NULL, IDC_ARROW));
    label.SendMessage(WM_SETCURSOR, reinterpret_cast<WPARAM>(label.GetSafeHwnd()), lParam);
    EXPECT_NE(hCross, GetCursor());

    label.SetOwnCursor(hCross);
    EXPECT_EQ(TRUE, label.SendMessage(WM_SETCURSOR, reinterpret_cast<WPARAM>(label.GetSafeHwnd()),
                                      lParam));
    EXPECT_EQ(hCross, GetCursor());
}

namespace {

// Makes lines in the parent one after another, switches each to bold, flashes its background
// once, asks its colours and deletes it. The brushes and fonts the lines answered with go into
// *pSeen when given.
void MakeAndDestroyLines(CTestParent& parent, int nLines, std::vector<HGDIOBJ>* pSeen = NULL)
{
    for (int i = 0; i < nLines; ++i) {
        CStepLabel* pLabel = new CStepLabel;
        const RECT rc = {10, 10, 210, 40};
        ASSERT_TRUE(pLabel->Create("line", WS_CHILD | WS_VISIBLE, rc, &parent));
        pLabel->SetBold(TRUE);
        pLabel->SetFlashMode(CStepLabel::kFlashBackground);
        HDC hDC = GetDC(*pLabel);
        const HGDIOBJ hFlash = reinterpret_cast<HGDIOBJ>(
            parent.SendMessage(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(hDC),
                               reinterpret_cast<LPARAM>(pLabel->GetSafeHwnd())));
        const HGDIOBJ hFont = GetCurrentObject(hDC, OBJ_FONT);
        pLabel->SendMessage(WM_TIMER, 1, 0);
        const HGDIOBJ hFace = reinterpret_cast<HGDIOBJ>(
            parent.SendMessage(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(hDC),
                               reinterpret_cast<LPARAM>(pLabel->GetSafeHwnd())));
        SelectObject(hDC, GetStockObject(SYSTEM_FONT));
        ReleaseDC(*pLabel, hDC);
        delete pLabel;
        if (pSeen != NULL) {
            pSeen->push_back(hFlash);
            pSeen->push_back(hFont);
            pSeen->push_back(hFace);
        }
    }
}

} // namespace

TEST(StepLabelResources, AThousandLinesLeaveNoGdiObjectBehind)
{
    CTestParent parent;
    ASSERT_TRUE(parent.Create("lines", 400, 200));
    std::vector<HGDIOBJ> objects;
    ASSERT_NO_FATAL_FAILURE(MakeAndDestroyLines(parent, 1000, &objects));
    int nLeft = 0;
    for (HGDIOBJ hObject : objects)
        nLeft += GetObjectType(hObject) != 0;
    EXPECT_EQ(0, nLeft) << "of " << objects.size() << " brushes and fonts";
}

TEST(StepLabelResources, ManyLinesLeaveNoKernelHandleBehind)
{
    CTestParent parent;
    ASSERT_TRUE(parent.Create("lines", 400, 200));
    ASSERT_NO_FATAL_FAILURE(MakeAndDestroyLines(parent, 10));
    const DWORD dwBefore = ProcessHandleCount();
    ASSERT_NE(0u, dwBefore) << "the platform counts no handles";
    ASSERT_NO_FATAL_FAILURE(MakeAndDestroyLines(parent, 300));
    const DWORD dwAfter = ProcessHandleCount();
    EXPECT_LE(dwAfter, dwBefore + kPlatformHandleSlack)
        << "expected at most " << dwBefore + kPlatformHandleSlack
        << " handles after 300 lines, got " << dwAfter;
}

// The counts take in every GDI and window object, the window and what the platform draws with
// included, not only the ones a line hands out.
TEST(StepLabelResources, ManyLinesLeaveTheGdiAndWindowObjectCountsAsTheyWere)
{
    if (GuiObjectCount(GR_GDIOBJECTS) == 0)
        GTEST_SKIP() << "the platform does not count GDI objects (GetGuiResources answers 0)";
    CTestParent parent;
    ASSERT_TRUE(parent.Create("lines", 400, 200));
    ASSERT_NO_FATAL_FAILURE(MakeAndDestroyLines(parent, 10));
    const DWORD dwGdiBefore = GuiObjectCount(GR_GDIOBJECTS);
    const DWORD dwUserBefore = GuiObjectCount(GR_USEROBJECTS);
    ASSERT_NO_FATAL_FAILURE(MakeAndDestroyLines(parent, 300));
    const DWORD dwGdiAfter = GuiObjectCount(GR_GDIOBJECTS);
    const DWORD dwUserAfter = GuiObjectCount(GR_USEROBJECTS);
    EXPECT_LE(dwGdiAfter, dwGdiBefore + kPlatformHandleSlack)
        << "expected at most " << dwGdiBefore + kPlatformHandleSlack
        << " GDI objects after 300 lines, got " << dwGdiAfter;
    EXPECT_LE(dwUserAfter, dwUserBefore + kPlatformHandleSlack)
        << "expected at most " << dwUserBefore + kPlatformHandleSlack
        << " window objects after 300 lines, got " << dwUserAfter;
}
