#pragma once

#include "framework/CWinApp.h"

// The application: runs the progress dialog and ends when it ends. It has no message map: the
// framework's one entry for it, the help command, could only come from a menu or an
// accelerator, and the program has neither.
class CStartupApp : public CWinApp {
public:
    CStartupApp();

    BOOL InitInstance() override;
    int ExitInstance() override;

private:
    // 0 after a run, whatever the steps returned. Not 0 where no run could be had, which the
    // installer must hear of: the window could not be made, another start kept the run list,
    // or the worker could not be started.
    int m_nExitCode;
};
