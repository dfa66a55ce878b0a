#pragma once

#include <windows.h>

#include "framework/CString.h"
#include "manifest/CRunList.h"

class CInstallStep;

// The worker's view of one run: the steps, their lines' windows and the window to close at the
// end, copied from the dialog before the worker starts, so that the worker never reads what the
// window's thread may change (the dialog, a line that forgets its handle as its window goes). It
// is made once per run and lives until the process ends.
class CStepRun {
public:
    CStepRun(CInstallStep* const* ppSteps, const HWND* phLines, UINT nSteps, HWND hWndDialog);

    CStepRun(const CStepRun&) = delete;
    CStepRun& operator=(const CStepRun&) = delete;

    // Thread start routine; pParam is the CStepRun. The thread's exit code is always 0.
    static DWORD WINAPI StepThreadProc(LPVOID pParam);

    // Runs every step in order, the running step's line bold, then asks the window to close.
    void RunSteps();

    // Where the run is, for the trace: a step's index while it runs, or one of these.
    static constexpr LONG kNotStarted = -1;
    static constexpr LONG kFinished = -2;
    LONG GetRunningStep() const { return m_nRunning; }
    // The key name of step i (any thread: names do not change).
    CString GetStepKeyName(UINT i) const;

private:
    CInstallStep* m_steps[CRunList::kMaxSteps];
    HWND m_hLines[CRunList::kMaxSteps]; // the lines' windows, borrowed
    UINT m_nSteps;
    HWND m_hWndDialog;
    volatile LONG m_nRunning;
};
