#include "framework/CWinApp.h"

#include <string.h>

namespace {
CWinApp* g_pApp = NULL;
}

CWinApp::CWinApp(const char* pszAppName)
    : m_pszAppName(pszAppName), m_hInstance(::GetModuleHandleA(NULL)), m_pMainWnd(NULL)
{
    g_pApp = this;
}

CWinApp::~CWinApp()
{
    if (g_pApp == this)
        g_pApp = NULL;
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

int CWinApp::ExitInstance()
{
    return 0;
}

CWinApp* AfxGetApp()
{
    return g_pApp;
}

CWnd* AfxGetMainWnd()
{
    return g_pApp != NULL ? g_pApp->m_pMainWnd : NULL;
}

HINSTANCE AfxGetInstanceHandle()
{
    return g_pApp != NULL ? g_pApp->m_hInstance : ::GetModuleHandleA(NULL);
}

HINSTANCE AfxGetResourceHandle()
{
    return AfxGetInstanceHandle();
}

HMODULE AfxLoadSystemLibrary(const char* pszName)
{
    char szPath[MAX_PATH];
    const UINT cchFolder = ::GetSystemDirectoryA(szPath, MAX_PATH);
    const size_t cchName = strlen(pszName);
    if (cchFolder == 0 || cchFolder + 1 + cchName >= MAX_PATH) {
        if (cchFolder != 0)
            ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return NULL;
    }
    szPath[cchFolder] = '\\';
    memcpy(szPath + cchFolder + 1, pszName, cchName + 1);
    // What the DLL imports is looked for beside it, in the system folder, too.
    return ::LoadLibraryExA(szPath, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
}
