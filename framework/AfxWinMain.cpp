// The program's entry point: the application object, constructed during static
// initialisation, does its work in InitInstance.

#include <windows.h>

#include "framework/CWinApp.h"

namespace {

// The program runs with an installer's rights from a folder it does not control. Before
// anything else loads, take the current directory out of the DLL search, and where the
// platform offers it, search only the system folders and the program's own.
void HardenDllSearch()
{
    ::SetDllDirectoryA("");
    typedef BOOL(WINAPI * PFNSETDEFAULTDLLDIRECTORIES)(DWORD);
    HMODULE hKernel = ::GetModuleHandleA("kernel32.dll");
    PFNSETDEFAULTDLLDIRECTORIES pfnSetDefaultDllDirectories =
        hKernel != NULL
            ? AfxProcAddress<PFNSETDEFAULTDLLDIRECTORIES>(hKernel, "SetDefaultDllDirectories")
            : NULL;
    if (pfnSetDefaultDllDirectories != NULL)
        pfnSetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32 |
                                    LOAD_LIBRARY_SEARCH_APPLICATION_DIR);
}

} // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    HardenDllSearch();
    CWinApp* pApp = AfxGetApp();
    if (pApp == NULL)
        return 0;
    pApp->m_hInstance = hInstance;
    // A dialog-based program returns FALSE from InitInstance; there is no message loop to run
    // in either case, since the program's only window is modal.
    pApp->InitInstance();
    return pApp->ExitInstance();
}
