#include "app/CStartupApp.h"

#include "app/CProgressDlg.h"

// The one application object; WinMain finds it through AfxGetApp.
CStartupApp theApp;

CStartupApp::CStartupApp() : CWinApp(NULL) {}

BOOL CStartupApp::InitInstance()
{
    AfxEnableControlContainer();
    Enable3dControlsStatic();

    CProgressDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    // The dialog was the whole program: no message loop follows.
    return FALSE;
}
