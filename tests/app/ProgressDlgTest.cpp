#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "app/CProgressDlg.h"
#include "controls/CStepLabel.h"
#include "res/resource.h"
#include "support/HandleCount.h"
#include "support/InstallerNames.h"
#include "support/InstalledProduct.h"
#include "support/TestPaths.h"
#include "support/TestRegistry.h"
#include "support/TestWindows.h"
#include "support/Watchdog.h"

// Installers find the template and the icon by these numbers: the names must keep them.
static_assert(IDD_PROGRESS == installer::kDialogTemplateId,
              "the dialog template's id is the one installers know");
static_assert(IDI_PROGRAM == installer::kProgramIconId, "the icon's id is the one installers know");

namespace {

// The progress dialog with eyes: it notes what it is sent, and looks at itself at its first
// paint, before the worker starts.
class CObservedDlg : public CProgressDlg {
public:
    int m_nPaints = 0;
    int m_nIconBackgrounds = 0;
    std::vector<std::pair<WPARAM, LPARAM>> m_iconsSet;
    std::function<void(CObservedDlg&)> m_atFirstPaint;
    std::function<void(CObservedDlg&)> m_afterInit;
    // Stays minimised, as a window whose starter or user keeps it so: every restore refused.
    bool m_bStayMinimised = false;
    // Its worker's thread cannot be started, as where the system is out of memory.
    bool m_bNoWorkerThread = false;

protected:
    HANDLE CreateWorkerThread(CStepRun* pStepRun) override
    {
        if (!m_bNoWorkerThread)
            return CProgressDlg::CreateWorkerThread(pStepRun);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }

    BOOL OnInitDialog() override
    {
        const BOOL bResult = CProgressDlg::OnInitDialog();
        if (m_afterInit)
            m_afterInit(*this);
        return bResult;
    }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_ICONERASEBKGND)
            ++m_nIconBackgrounds;
        if (message == WM_SETICON)
            m_iconsSet.push_back(std::make_pair(wParam, lParam));
        if (message == WM_PAINT && m_nPaints++ == 0 && m_atFirstPaint)
            m_atFirstPaint(*this);
        if (message == WM_QUERYOPEN && m_bStayMinimised)
            return FALSE;
        return CProgressDlg::WindowProc(message, wParam, lParam);
    }
};

// Runs a function on a thread of its own: the test's eyes and hands while the dialog's modal
// loop runs on the test's thread.
class CDriver {
public:
    explicit CDriver(std::function<void()> work) : m_work(work)
    {
        m_hThread = CreateThread(NULL, 0, &CDriver::ThreadProc, this, 0, NULL);
    }
    ~CDriver()
    {
        WaitForSingleObject(m_hThread, 30000);
        CloseHandle(m_hThread);
    }

private:
    static DWORD WINAPI ThreadProc(LPVOID pParam)
    {
        static_cast<CDriver*>(pParam)->m_work();
        return 0;
    }
    std::function<void()> m_work;
    HANDLE m_hThread;
};

// Waits (at most 10 s) for a window to be visible; it is made by the test's own thread.
bool WaitVisible(const CWnd& wnd)
{
    for (int i = 0; i < 200; ++i) {
        HWND hWnd = wnd.GetSafeHwnd();
        if (hWnd != NULL && IsWindowVisible(hWnd))
            return true;
        Sleep(50);
    }
    return false;
}

RECT ClientRectOf(const CWnd& child, const CWnd& parent)
{
    RECT rc;
    GetWindowRect(child, &rc);
    MapWindowPoints(NULL, parent, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

SIZE MeasuredExtent(const CWnd& line, const char* pszText)
{
    HDC hDC = GetDC(line);
    const DWORD dwExtent = GetTabbedTextExtentA(hDC, pszText, lstrlenA(pszText), 0, NULL);
    ReleaseDC(line, hDC);
    SIZE size = {static_cast<short>(LOWORD(dwExtent)), static_cast<short>(HIWORD(dwExtent))};
    return size;
}

// A dialog shows one run of the installed product's run list; no dialog here may outlive
// half a minute.
class ProgressDlgTest : public InstalledProductTest {
protected:
    void SetUp() override
    {
        InstalledProductTest::SetUp();
        SetTestTimeLimit(kDialogTestLimitSeconds);
    }

    // A step that keeps the dialog open for a while, so the test can look at it.
    void WriteSlowStep(const std::string& name, const char* pszText, int nMilliseconds = 3000)
    {
        WriteProbeStep(name, "--sleep " + std::to_string(nMilliseconds), pszText);
    }

    static const DWORD kDialogTestLimitSeconds = 30;
};

} // namespace

TEST_F(ProgressDlgTest, WindowIsMadeFromTheTemplateWithTheProgramIcon)
{
    CObservedDlg dlg;
    DWORD dwStyle = 0, dwExStyle = 0;
    char szCaption[64] = "";
    LOGFONTA lfDialog = {};
    dlg.m_atFirstPaint = [&](CObservedDlg& d) {
        dwStyle = static_cast<DWORD>(GetWindowLongPtrA(d, GWL_STYLE));
        dwExStyle = static_cast<DWORD>(GetWindowLongPtrA(d, GWL_EXSTYLE));
        GetWindowTextA(d, szCaption, sizeof szCaption);
        GetObjectA(reinterpret_cast<HFONT>(d.SendMessage(WM_GETFONT)), sizeof lfDialog, &lfDialog);
    };
    EXPECT_EQ(IDCANCEL, dlg.DoModal());

    // The platform adds the 3-D look to every dialog and clips top-level siblings.
    EXPECT_EQ(0x90C000C0u, dwStyle & ~static_cast<DWORD>(WS_CLIPSIBLINGS | DS_3DLOOK));
    EXPECT_TRUE(dwExStyle & WS_EX_APPWINDOW);
    EXPECT_STREQ("Completing Vardel Install", szCaption);
    EXPECT_STREQ("MS Sans Serif", lfDialog.lfFaceName);
    EXPECT_FALSE(lfDialog.lfItalic);

    ASSERT_EQ(2u, dlg.m_iconsSet.size());
    EXPECT_EQ(static_cast<WPARAM>(ICON_BIG), dlg.m_iconsSet[0].first);
    EXPECT_EQ(static_cast<WPARAM>(ICON_SMALL), dlg.m_iconsSet[1].first);
    EXPECT_NE(0, dlg.m_iconsSet[0].second);
    EXPECT_EQ(dlg.m_iconsSet[0].second, dlg.m_iconsSet[1].second);
    EXPECT_EQ(reinterpret_cast<LPARAM>(dlg.m_hIcon), dlg.m_iconsSet[0].second);
}

TEST_F(ProgressDlgTest, TemplateResourceIsTheOneInstallersKnow)
{
    HRSRC hResource =
        FindResourceA(NULL, MAKEINTRESOURCEA(installer::kDialogTemplateId), MAKEINTRESOURCEA(5));
    ASSERT_NE(nullptr, hResource);
    const BYTE* p = static_cast<const BYTE*>(LockResource(LoadResource(NULL, hResource)));
    ASSERT_NE(nullptr, p);
    const WORD* pw = reinterpret_cast<const WORD*>(p);
    EXPECT_EQ(1, pw[0]); // DIALOGEX
    EXPECT_EQ(0xFFFF, pw[1]);
    const DWORD* pdw = reinterpret_cast<const DWORD*>(p + 4);
    EXPECT_EQ(0u, pdw[0]);                                  // help id
    EXPECT_EQ(static_cast<DWORD>(WS_EX_APPWINDOW), pdw[1]); // extended style
    EXPECT_EQ(0x90C000C0u, pdw[2]);                         // style
    const short* ps = reinterpret_cast<const short*>(p + 16);
    EXPECT_EQ(0, ps[0]); // controls
    EXPECT_EQ(0, ps[1]);
    EXPECT_EQ(0, ps[2]);
    EXPECT_EQ(219, ps[3]);
    EXPECT_EQ(82, ps[4]);
    const WCHAR* pText = reinterpret_cast<const WCHAR*>(p + 26);
    EXPECT_EQ(0, pText[0]); // no menu
    EXPECT_EQ(0, pText[1]); // no class
    EXPECT_STREQ(L"Completing Vardel Install", pText + 2);
    const WORD* pFont = reinterpret_cast<const WORD*>(pText + 2 + lstrlenW(pText + 2) + 1);
    EXPECT_EQ(8, pFont[0]); // points
    EXPECT_EQ(0, pFont[1]); // weight
    const BYTE* pItalicCharset = reinterpret_cast<const BYTE*>(pFont + 2);
    EXPECT_EQ(0, pItalicCharset[0]);
    EXPECT_EQ(1, pItalicCharset[1]);
    EXPECT_STREQ(L"MS Sans Serif", reinterpret_cast<const WCHAR*>(pFont + 3));
}

TEST_F(ProgressDlgTest, IconHasTheTwoSixteenColourImages)
{
    for (int nSize : {32, 16}) {
        HICON hIcon = static_cast<HICON>(LoadImageA(GetModuleHandleA(NULL),
                                                    MAKEINTRESOURCEA(installer::kProgramIconId),
                                                    IMAGE_ICON, nSize, nSize, 0));
        ASSERT_NE(nullptr, hIcon) << nSize;
        ICONINFO info = {};
        ASSERT_TRUE(GetIconInfo(hIcon, &info));
        BITMAP bm = {};
        GetObjectA(info.hbmColor, sizeof bm, &bm);
        EXPECT_EQ(nSize, bm.bmWidth);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(hIcon);
    }
    HRSRC hGroup =
        FindResourceA(NULL, MAKEINTRESOURCEA(installer::kProgramIconId), MAKEINTRESOURCEA(14));
    ASSERT_NE(nullptr, hGroup);
    const WORD* pDir = static_cast<const WORD*>(LockResource(LoadResource(NULL, hGroup)));
    ASSERT_EQ(2, pDir[2]);
    const BYTE* pEntries = reinterpret_cast<const BYTE*>(pDir + 3);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(i == 0 ? 32 : 16, pEntries[i * 14]);
        EXPECT_EQ(16, pEntries[i * 14 + 2]);                                 // colours
        EXPECT_EQ(4, *reinterpret_cast<const WORD*>(pEntries + i * 14 + 6)); // bits per pixel
    }
}

TEST_F(ProgressDlgTest, WithoutStepsTheWindowIs20By40AndEndsByItself)
{
    CObservedDlg dlg;
    RECT rcWindow = {};
    dlg.m_atFirstPaint = [&](CObservedDlg& d) { GetWindowRect(d, &rcWindow); };
    EXPECT_EQ(IDCANCEL, dlg.DoModal());
    EXPECT_EQ(20, rcWindow.right - rcWindow.left);
    EXPECT_EQ(40, rcWindow.bottom - rcWindow.top);
    EXPECT_EQ(0u, dlg.GetRunList().m_nSteps);
}

TEST_F(ProgressDlgTest, LinesAreMeasuredAndStackedAndTheWidestSetsTheWidth)
{
    WriteSlowStep("1", "Short", 1500);
    WriteStep("2", "executable", "missing.exe", NULL, "The widest line of all, in the middle");
    WriteStep("3", "executable", "missing.exe", NULL, "");
    WriteStep("4", "executable", "missing.exe", NULL, "Tab\there");
    CObservedDlg dlg;
    std::vector<RECT> lines;
    std::vector<SIZE> expected;
    RECT rcWindow = {};
    dlg.m_atFirstPaint = [&](CObservedDlg& d) {
        GetWindowRect(d, &rcWindow);
        const char* texts[] = {"Short", "The widest line of all, in the middle", "", "Tab\there"};
        for (UINT i = 0; i < d.GetRunList().m_nSteps; ++i) {
            lines.push_back(ClientRectOf(*d.m_labels[i], d));
            expected.push_back(MeasuredExtent(*d.m_labels[i], texts[i]));
        }
    };
    dlg.DoModal();

    ASSERT_EQ(4u, lines.size());
    int y = 10, nMaxWidth = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(10, lines[i].left) << "line " << i;
        EXPECT_EQ(y, lines[i].top) << "line " << i;
        EXPECT_EQ(expected[i].cx, lines[i].right - lines[i].left) << "line " << i;
        EXPECT_EQ(expected[i].cy, lines[i].bottom - lines[i].top) << "line " << i;
        y += expected[i].cy + 10;
        nMaxWidth = std::max<int>(nMaxWidth, expected[i].cx);
    }
    EXPECT_EQ(0, expected[2].cx);
    EXPECT_EQ(lines[1].bottom + 10, lines[2].top) << "an empty line keeps its gap";
    EXPECT_EQ(lines[2].bottom + 10, lines[3].top);
    EXPECT_EQ(expected[1].cx, nMaxWidth);
    EXPECT_EQ(nMaxWidth + 20, rcWindow.right - rcWindow.left);
    EXPECT_EQ(y + 30, rcWindow.bottom - rcWindow.top);
}

TEST_F(ProgressDlgTest, WindowIsCentredOnTheWorkArea)
{
    WriteSlowStep("1", "A line to give the window some width", 1500);
    CObservedDlg dlg;
    RECT rcWindow = {};
    dlg.m_atFirstPaint = [&](CObservedDlg& d) { GetWindowRect(d, &rcWindow); };
    dlg.DoModal();
    RECT rcArea;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &rcArea, 0);
    const int nWidth = rcWindow.right - rcWindow.left, nHeight = rcWindow.bottom - rcWindow.top;
    EXPECT_EQ((rcArea.left + rcArea.right) / 2 - nWidth / 2, rcWindow.left);
    EXPECT_EQ((rcArea.top + rcArea.bottom) / 2 - nHeight / 2, rcWindow.top);
}

TEST_F(ProgressDlgTest, CaptionComesFromTheTitle)
{
    SetStringValue(ManifestKeyPath(), "Title", "Finishing Tool 4.2");
    CObservedDlg dlg;
    char szCaption[64] = "";
    dlg.m_atFirstPaint = [&](CObservedDlg& d) { GetWindowTextA(d, szCaption, sizeof szCaption); };
    dlg.DoModal();
    EXPECT_STREQ("Finishing Tool 4.2", szCaption);
}

// Every step would run from "\Setup" at the root of the current drive.
TEST_F(ProgressDlgTest, MissingInstallLocationEndsTheDialogBeforeAnyStepAndConsumesTheList)
{
    WriteSlowStep("a", "Text", 0);
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, ProductKeyPath().c_str(), "InstallLocation");
    SetStringValue(ManifestKeyPath(), "DisplayName", "Tool");
    CObservedDlg dlg;
    EXPECT_EQ(IDCANCEL, dlg.DoModal());
    EXPECT_EQ(0, dlg.m_nPaints);
    EXPECT_EQ(0, dlg.m_bThreadStarted);
    EXPECT_EQ(1u, dlg.GetRunList().m_nSteps);
    EXPECT_FALSE(KeyExists(StepKeyPath("a"))) << "the run list is consumed all the same";
    EXPECT_EQ("Tool", ReadStringValue(DisplayKeyPath(), "DisplayName"));
    Sleep(500);
    EXPECT_TRUE(ReadProbeRuns(m_record).empty()) << "a step ran";
}

TEST_F(ProgressDlgTest, EscapeCharacterShowsTheEscBoxAndTheDialogStays)
{
    WriteSlowStep("1", "Waiting", 6000);
    CObservedDlg dlg;
    std::string boxText, boxCaption;
    bool bStillOpenAfterBox = false;
    CDriver driver([&] {
        if (!WaitVisible(dlg))
            return;
        dlg.PostMessage(WM_CHAR, 27, 1);
        HWND hBox = NULL;
        for (int i = 0; i < 200 && hBox == NULL; ++i, Sleep(25))
            hBox = FindWindowA("#32770", "Esc");
        if (hBox != NULL) {
            char szText[32] = "", szCaption[32] = "";
            GetWindowTextA(hBox, szCaption, sizeof szCaption);
            GetDlgItemTextA(hBox, 0xFFFF, szText, sizeof szText);
            boxText = szText;
            boxCaption = szCaption;
            PostMessageA(hBox, WM_COMMAND, IDOK, 0);
            Sleep(300);
        }
        bStillOpenAfterBox = IsWindow(dlg.GetSafeHwnd()) && IsWindowVisible(dlg.GetSafeHwnd());
        dlg.PostMessage(WM_KEYDOWN, VK_ESCAPE, 1);
    });
    EXPECT_EQ(IDCANCEL, dlg.DoModal());
    EXPECT_EQ("Esc", boxText);
    EXPECT_EQ("Esc", boxCaption);
    EXPECT_TRUE(bStillOpenAfterBox);
}

TEST_F(ProgressDlgTest, EnterEndsTheDialogWithOk)
{
    WriteSlowStep("1", "Waiting", 3000);
    CObservedDlg dlg;
    CDriver driver([&] {
        if (WaitVisible(dlg))
            dlg.PostMessage(WM_KEYDOWN, VK_RETURN, 1);
    });
    EXPECT_EQ(IDOK, dlg.DoModal());
}

// Some dialog managers restore a minimised dialog the first time its queue runs empty, so the
// test minimises the dialog at the end of its initialisation and paints it there itself. The
// iconic paint draws the icon and starts nothing; the worker starts once, however many paints
// follow.
TEST_F(ProgressDlgTest, IconicPaintDrawsTheIconAndTheWorkerStartsOnce)
{
    WriteSlowStep("1", "Waiting", 1500);
    CObservedDlg dlg;
    bool bIconic = false, bStartedByIconicPaint = true;
    int nIconBackgrounds = 0;
    dlg.m_afterInit = [&](CObservedDlg& d) {
        ShowWindow(d, SW_SHOWMINNOACTIVE);
        bIconic = IsIconic(d) != FALSE;
        d.SendMessage(WM_PAINT);
        nIconBackgrounds = d.m_nIconBackgrounds;
        bStartedByIconicPaint = d.m_bThreadStarted != 0;
    };
    size_t nRunsAfterMorePaints = 0;
    CDriver driver([&] {
        if (!WaitVisible(dlg))
            return;
        for (int i = 0; i < 3; ++i) {
            RedrawWindow(dlg.GetSafeHwnd(), NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW);
            Sleep(100);
        }
        // The step's program may take a while to start under load; a second start, which the
        // later paints must not cause, would show as two runs.
        for (int i = 0; i < 100 && ReadProbeRuns(m_record).empty(); ++i)
            Sleep(50);
        nRunsAfterMorePaints = ReadProbeRuns(m_record).size();
        dlg.PostMessage(WM_KEYDOWN, VK_ESCAPE, 1);
    });
    dlg.DoModal();
    EXPECT_TRUE(bIconic);
    EXPECT_EQ(1, nIconBackgrounds);
    EXPECT_FALSE(bStartedByIconicPaint);
    EXPECT_GE(dlg.m_nPaints, 4);
    EXPECT_EQ(1u, nRunsAfterMorePaints);
    Sleep(2000);
    EXPECT_EQ(1u, ReadProbeRuns(m_record).size()) << "the worker ran once";
}

// A window that stays minimised gets no ordinary paint: the steps run all the same, and the
// dialog ends by itself.
TEST_F(ProgressDlgTest, WindowKeptMinimisedStillRunsItsStepsAndEnds)
{
    WriteSlowStep("1", "Waiting", 1500);
    CObservedDlg dlg;
    dlg.m_bStayMinimised = true;
    bool bStillIconic = false;
    dlg.m_afterInit = [&](CObservedDlg& d) { ShowWindow(d, SW_SHOWMINNOACTIVE); };
    size_t nRuns = 0;
    INT_PTR nResult = 0;
    {
        CDriver driver([&] {
            for (int i = 0; i < 200 && ReadProbeRuns(m_record).empty(); ++i)
                Sleep(50);
            nRuns = ReadProbeRuns(m_record).size();
            const HWND hWnd = dlg.GetSafeHwnd();
            bStillIconic = hWnd != NULL && IsIconic(hWnd);
            // Today's end, should the steps not run: the test must not wait for ever.
            if (nRuns == 0 && hWnd != NULL)
                PostMessageA(hWnd, WM_KEYDOWN, VK_ESCAPE, 1);
        });
        nResult = dlg.DoModal();
    } // the driver has looked by now
    EXPECT_EQ(IDCANCEL, nResult);
    EXPECT_EQ(1u, nRuns) << "the step did not run while the window stayed minimised";
    EXPECT_TRUE(bStillIconic) << "the window was restored: the case did not keep it minimised";
    EXPECT_EQ(0u, dlg.GetExitCode());
}

// Without a worker no step can run, and the run list is consumed already: the dialog ends at
// once, and the installer hears of it through the exit code.
TEST_F(ProgressDlgTest, WorkerThatCannotStartEndsTheDialogWithTheSystemsError)
{
    WriteSlowStep("1", "Waiting", 0);
    CObservedDlg dlg;
    dlg.m_bNoWorkerThread = true;
    volatile LONG nEnded = 0;
    INT_PTR nResult = 0;
    {
        CDriver driver([&] {
            for (int i = 0; i < 200 && nEnded == 0; ++i)
                Sleep(50);
            const HWND hWnd = dlg.GetSafeHwnd();
            if (nEnded == 0 && hWnd != NULL)
                PostMessageA(hWnd, WM_KEYDOWN, VK_RETURN, 1);
        });
        nResult = dlg.DoModal();
        InterlockedExchange(&nEnded, 1);
    }
    EXPECT_EQ(IDCANCEL, nResult) << "the dialog stayed until Enter ended it";
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), dlg.GetExitCode());
    EXPECT_EQ(1, dlg.m_bThreadStarted);
    // A worker would have started the step's program by now.
    Sleep(1500);
    EXPECT_TRUE(ReadProbeRuns(m_record).empty()) << "a step ran";
    EXPECT_FALSE(KeyExists(StepKeyPath("1"))) << "the run list was consumed before the worker";
}

// Every run starts a worker thread whose handle the dialog closes at once; the window, its lines
// and its icon are the platform's and the process's to keep.
TEST_F(ProgressDlgTest, ManyRunsLeaveNoHandleBehind)
{
    const auto runOnce = [] {
        WriteStep("a", "executable", "%InstallDir%\\missing.exe", NULL, "Missing");
        CProgressDlg dlg;
        EXPECT_EQ(IDCANCEL, dlg.DoModal());
        EXPECT_EQ(1, dlg.m_bThreadStarted);
    };
    // The first runs may open what the platform keeps for the rest of the process.
    runOnce();
    runOnce();
    const DWORD dwBefore = ProcessHandleCount();
    ASSERT_NE(0u, dwBefore) << "the platform counts no handles";
    const int kRuns = 6;
    for (int i = 0; i < kRuns; ++i)
        runOnce();
    const DWORD dwAfter = ProcessHandleCount();
    EXPECT_LE(dwAfter, dwBefore + kPlatformHandleSlack)
        << "expected at most " << dwBefore + kPlatformHandleSlack << " handles after " << kRuns
        << " runs, got " << dwAfter;
}
