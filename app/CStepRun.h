#pragma once

#include <windows.h>

#include "manifest/CRunList.h"

class CInstallStep;
class CStepLabel;

// The worker's view of one run: the steps, their lines and the window to close at the end,
// copied from the dialog so that the worker never reads the dialog itself. It is made once per
// run and lives until the process ends.
class CStepRun {
public:
    CStepRun(CInstallStep* const* ppSteps, CStepLabel* const* ppLabels, UINT nSteps,
             HWND hWndDialog);

    CStepRun(const CStepRun&) = delete;
    CStepRun& operator=(const CStepRun&) = delete;

    // Thread start routine; pParam is the CStepRun. The thread's exit code is always 0.
    static DWORD WINAPI StepThreadProc(LPVOID pParam);

    // Runs every step in order, the running step's line bold, then asks the window to close.
    void RunSteps();

private:
    CInstallStep* m_steps[CRunList::kMaxSteps];
    CStepLabel* m_labels[CRunList::kMaxSteps];
    UINT m_nSteps;
    HWND m_hWndDialog;
};
