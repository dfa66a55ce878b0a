// The step runner on its own: stand-in steps that only note their run, and real lines in a
// window of the test's own whose bold switches a window hook notes as they arrive. The runner
// runs on a worker thread, as in the program, while the test's thread handles the lines'
// messages.

#include <gtest/gtest.h>

#include <windows.h>

#include <stdio.h>

#include <memory>
#include <string>
#include <vector>

#include "app/CStepRun.h"
#include "controls/CStepLabel.h"
#include "manifest/CInstallStep.h"
#include "support/InstallerNames.h"
#include "support/TestWindows.h"

namespace {

// What happened, in the order it happened, from any thread.
class CRunLog {
public:
    CRunLog() { InitializeCriticalSection(&m_lock); }
    ~CRunLog() { DeleteCriticalSection(&m_lock); }
    CRunLog(const CRunLog&) = delete;
    CRunLog& operator=(const CRunLog&) = delete;

    void Add(const std::string& entry)
    {
        EnterCriticalSection(&m_lock);
        m_entries.push_back(entry);
        LeaveCriticalSection(&m_lock);
    }
    std::vector<std::string> Entries()
    {
        EnterCriticalSection(&m_lock);
        const std::vector<std::string> entries = m_entries;
        LeaveCriticalSection(&m_lock);
        return entries;
    }

private:
    CRITICAL_SECTION m_lock;
    std::vector<std::string> m_entries;
};

// Which of the lines draw bold now, as "bold: 0 2" (or "bold: none"): each line is asked for its
// colours as its parent asks when it paints, and the font it selects is read back. Callable
// from any thread; the lines answer on their own.
std::string BoldLines(const CWnd& parent, const std::vector<std::unique_ptr<CStepLabel>>& lines)
{
    std::string bold;
    for (size_t i = 0; i < lines.size(); ++i) {
        HWND hLine = lines[i]->GetSafeHwnd();
        if (hLine == NULL)
            continue; // a line without a window draws nothing
        HDC hDC = GetDC(hLine);
        parent.SendMessage(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(hDC),
                           reinterpret_cast<LPARAM>(hLine));
        if (SelectedFont(hDC).lfWeight == FW_BOLD)
            bold += " " + std::to_string(i);
        ReleaseDC(hLine, hDC);
    }
    return "bold:" + (bold.empty() ? std::string(" none") : bold);
}

// A step that starts nothing: it notes its run, with the step the runner says is running and
// the lines drawn bold while it runs.
class CStandInStep : public CInstallStep {
public:
    CStandInStep(const CString& strKeyName, CRunLog* pLog) : CInstallStep(strKeyName), m_pLog(pLog)
    {
    }
    DWORD Run() override
    {
        std::string entry = "run " + std::string(static_cast<const char*>(GetKeyName()));
        if (m_pRun != NULL)
            entry += " (running " + std::to_string(m_pRun->GetRunningStep()) + ", " +
                     BoldLines(*m_pParent, *m_pLines) + ")";
        m_pLog->Add(entry);
        return 0;
    }

    // Set when the step is to say what the runner reports and which lines are bold.
    const CStepRun* m_pRun = NULL;
    const CWnd* m_pParent = NULL;
    const std::vector<std::unique_ptr<CStepLabel>>* m_pLines = NULL;

private:
    CRunLog* m_pLog;
};

// Hook on the test's thread: every bold switch a line is sent, as "bold 1" or "normal 1".
CRunLog* g_pHookLog = NULL;
const std::vector<std::unique_ptr<CStepLabel>>* g_pHookLines = NULL;

LRESULT CALLBACK NoteBoldSwitch(int nCode, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* pMsg = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (nCode == HC_ACTION && pMsg->message == CStepLabel::WM_SETBOLD && g_pHookLines != NULL) {
        for (size_t i = 0; i < g_pHookLines->size(); ++i) {
            if ((*g_pHookLines)[i]->GetSafeHwnd() == pMsg->hwnd)
                g_pHookLog->Add((pMsg->wParam ? "bold " : "normal ") + std::to_string(i));
        }
    }
    return CallNextHookEx(NULL, nCode, wParam, lParam);
}

// Three steps "a", "b", "c" with a line each in a parent window of the test's; Run starts the
// runner on a worker thread and handles the window's messages until it has ended, noting the
// close requests the parent receives instead of acting on them.
class StepRunnerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_parent.Create("steps", 300, 200));
        for (const char* pszName : {"a", "b", "c"}) {
            m_steps.emplace_back(new CStandInStep(pszName, &m_log));
            m_lines.emplace_back(new CStepLabel);
            const int y = 10 + 30 * static_cast<int>(m_lines.size() - 1);
            const RECT rc = {10, y, 200, y + 20};
            ASSERT_TRUE(m_lines.back()->Create(pszName, WS_CHILD | WS_VISIBLE, rc, &m_parent));
            m_stepTable.push_back(m_steps.back().get());
            m_lineTable.push_back(m_lines.back()->GetSafeHwnd());
        }
        PumpMessagesFor(50);
        g_pHookLog = &m_log;
        g_pHookLines = &m_lines;
        m_hHook = SetWindowsHookExA(WH_CALLWNDPROC, NoteBoldSwitch, NULL, GetCurrentThreadId());
        ASSERT_NE(nullptr, m_hHook);
    }
    void TearDown() override
    {
        if (m_hHook != NULL)
            UnhookWindowsHookEx(m_hHook);
        g_pHookLines = NULL;
        g_pHookLog = NULL;
    }

    // Runs the steps as the dialog does and returns when the runner's thread has ended and its
    // messages are handled (at most 10 s).
    void Run(CStepRun& run)
    {
        for (auto& step : m_steps) {
            step->m_pRun = &run;
            step->m_pParent = &m_parent;
            step->m_pLines = &m_lines;
        }
        EXPECT_EQ(CStepRun::kNotStarted, run.GetRunningStep());
        HANDLE hThread = CreateThread(NULL, 0, &CStepRun::StepThreadProc, &run, 0, NULL);
        ASSERT_NE(nullptr, hThread);
        DWORD dwWait = WAIT_TIMEOUT;
        const DWORD dwStart = GetTickCount();
        while (dwWait != WAIT_OBJECT_0 && GetTickCount() - dwStart < 10000) {
            dwWait = MsgWaitForMultipleObjects(1, &hThread, FALSE, 100, QS_ALLINPUT);
            HandleMessages();
        }
        CloseHandle(hThread);
        ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), dwWait) << "the runner did not end";
        HandleMessages();
    }

    CRunLog m_log;
    CTestParent m_parent;
    std::vector<std::unique_ptr<CStandInStep>> m_steps;
    std::vector<std::unique_ptr<CStepLabel>> m_lines;
    // The tables the dialog hands the runner.
    std::vector<CInstallStep*> m_stepTable;
    std::vector<HWND> m_lineTable;

private:
    // A close request is noted, with the lines bold at that moment, and not passed on: the
    // parent's default handling would destroy it.
    void HandleMessages()
    {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_CLOSE && msg.hwnd == m_parent.GetSafeHwnd()) {
                m_log.Add("close (" + BoldLines(m_parent, m_lines) + ")");
                continue;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }

    HHOOK m_hHook = NULL;
};

} // namespace

// The previous line turns normal before the next turns bold, both before the step starts; the
// last line stays bold; one close request follows the last step.
TEST_F(StepRunnerTest, EachStepRunsOnceInOrderWithItsLineAloneBoldThenOneCloseRequest)
{
    CStepRun run(&m_stepTable[0], &m_lineTable[0], 3, m_parent.GetSafeHwnd());
    ASSERT_NO_FATAL_FAILURE(Run(run));
    const std::vector<std::string> expected = {
        "bold 0",                     // before the first step starts
        "run a (running 0, bold: 0)", //
        "normal 0",                   // the previous line first,
        "bold 1",                     // then the next, both before the step starts
        "run b (running 1, bold: 1)", //
        "normal 1",                   //
        "bold 2",                     //
        "run c (running 2, bold: 2)", //
        "close (bold: 2)",            // the last line stays bold
    };
    EXPECT_EQ(expected, m_log.Entries());
    EXPECT_EQ(CStepRun::kFinished, run.GetRunningStep());
}

TEST_F(StepRunnerTest, WithoutStepsOnlyTheCloseRequestGoes)
{
    CStepRun run(NULL, NULL, 0, m_parent.GetSafeHwnd());
    ASSERT_NO_FATAL_FAILURE(Run(run));
    EXPECT_EQ(std::vector<std::string>{"close (bold: none)"}, m_log.Entries());
}

// The dialog's windows go as soon as it ends, which may be in the middle of a run, and their
// objects with them: the runner holds its own copy of what it needs, and a line that is gone is
// passed over.
TEST_F(StepRunnerTest, LinesGoneAfterTheRunWasMadeAreLeftAloneAndEveryStepStillRuns)
{
    CStepRun run(&m_stepTable[0], &m_lineTable[0], 3, m_parent.GetSafeHwnd());
    m_lines[1]->DestroyWindow();
    m_lines[1].reset(new CStepLabel); // the old object is gone; its stand-in has no window
    ASSERT_NO_FATAL_FAILURE(Run(run));
    const std::vector<std::string> expected = {
        "bold 0", "run a (running 0, bold: 0)", "normal 0",        "run b (running 1, bold: none)",
        "bold 2", "run c (running 2, bold: 2)", "close (bold: 2)",
    };
    EXPECT_EQ(expected, m_log.Entries());
}

// Lines without windows are passed over: the runner has no window to hand the switch to.
TEST(StepRunnerCapacity, OnlyTheFirst597StepsAreTakenAndRun)
{
    const UINT kGiven = installer::kMostStepsPerStart + 3;
    CRunLog log;
    std::vector<std::unique_ptr<CStandInStep>> steps;
    std::vector<std::unique_ptr<CStepLabel>> lines;
    std::vector<CInstallStep*> stepTable;
    std::vector<HWND> lineTable;
    for (UINT i = 0; i < kGiven; ++i) {
        steps.emplace_back(new CStandInStep(std::to_string(i).c_str(), &log));
        lines.emplace_back(new CStepLabel);
        stepTable.push_back(steps.back().get());
        lineTable.push_back(lines.back()->GetSafeHwnd());
    }
    CTestParent parent;
    ASSERT_TRUE(parent.Create("steps", 300, 200));

    CStepRun run(&stepTable[0], &lineTable[0], kGiven, parent.GetSafeHwnd());
    run.RunSteps();

    const std::vector<std::string> entries = log.Entries();
    ASSERT_EQ(installer::kMostStepsPerStart, entries.size());
    EXPECT_EQ("run 0", entries.front());
    EXPECT_EQ("run 596", entries.back());
    EXPECT_STREQ("596", run.GetStepKeyName(596));
    EXPECT_STREQ("", run.GetStepKeyName(597)) << "a step beyond the table";
    EXPECT_EQ(1, TakeCloseRequests(parent));
}
