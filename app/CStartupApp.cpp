#include "app/CStartupApp.h"

#include "FinishInstallVersion.h"
#include "app/CProgressDlg.h"
#include "framework/CTrace.h"

// The one application object; WinMain finds it through AfxGetApp.
CStartupApp theApp;

CStartupApp::CStartupApp() : CWinApp(NULL), m_nExitCode(0) {}

BOOL CStartupApp::InitInstance()
{
    // The run list may name a trace file; it gets this run's lines from here on, and first the
    // version that wrote them and the code page of their text.
    CTrace::HoldForFile("FinishInstall %s, process id %lu, text in code page %u",
                        FINISHINSTALL_VERSION_TEXT, ::GetCurrentProcessId(), ::GetACP());
    AfxEnableControlContainer();
    Enable3dControlsStatic();

    CProgressDlg dlg;
    m_pMainWnd = &dlg;
    if (dlg.DoModal() == -1) {
        // The dialog never initialised, and the run list is read only then: nothing ran and
        // nothing was consumed. Said to the installer, which would otherwise take the product
        // for finished (a desktop out of heap, a start with no desktop to show a window on).
        const DWORD dwError = ::GetLastError();
        char szError[256];
        CTrace::Line("progress window not made (error %lu: %s): no step ran, the run list is "
                     "left as it was for a later start",
                     dwError, CTrace::ErrorText(dwError, szError, sizeof szError));
        m_nExitCode = dwError != ERROR_SUCCESS ? static_cast<int>(dwError) : 1;
    } else {
        m_nExitCode = static_cast<int>(dlg.GetExitCode());
    }
    // The dialog was the whole program: no message loop follows.
    return FALSE;
}

int CStartupApp::ExitInstance()
{
    return m_nExitCode;
}
