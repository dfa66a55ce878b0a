#pragma once

#include <windows.h>

class CWnd;

// The one application object. Its constructor registers it; WinMain (AfxWinMain.cpp) calls
// InitInstance. A program that does all its work in InitInstance returns FALSE there and so
// never needs a message loop of the application's own.
class CWinApp {
public:
    explicit CWinApp(const char* pszAppName = NULL);
    virtual ~CWinApp();

    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance();
    // What WinMain returns: the program's exit code.
    virtual int ExitInstance();

    const char* m_pszAppName;
    HINSTANCE m_hInstance;
    CWnd* m_pMainWnd;

protected:
    // Controls have drawn in three dimensions since Windows 95 without asking: there is
    // nothing to switch on, so this does nothing.
    BOOL Enable3dControlsStatic() { return TRUE; }
};

CWinApp* AfxGetApp();
// The application's main window, or NULL when there is none.
CWnd* AfxGetMainWnd();
HINSTANCE AfxGetInstanceHandle();
// Resources live in the program itself.
HINSTANCE AfxGetResourceHandle();
// A system DLL loaded by its full path in the system folder (System32, or SysWOW64 for a 32-bit
// program on 64-bit Windows), so that no copy beside the program or in the current folder is
// ever taken for it. NULL, with the last error set, when it cannot be loaded.
HMODULE AfxLoadSystemLibrary(const char* pszName);
// A DLL's export as the function type it has: GetProcAddress answers a generic function
// pointer, cast here through void*. NULL where the DLL does not export it.
template <typename T> T AfxProcAddress(HMODULE hModule, const char* pszName)
{
    return reinterpret_cast<T>(reinterpret_cast<void*>(::GetProcAddress(hModule, pszName)));
}
// The program hosts no ActiveX controls, so there is no container support to set up.
inline void AfxEnableControlContainer() {}
