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
    // 0 whenever the window was made, whatever the steps returned: only a window that could
    // not be made is a failure the installer must hear of.
    int m_nExitCode;
};
