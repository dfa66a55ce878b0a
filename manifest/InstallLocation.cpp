#include "manifest/InstallLocation.h"

#include "framework/CWinApp.h"
#include "framework/CWnd.h"
#include "manifest/CRegKey.h"
#include "manifest/RegistryNames.h"

CString GetInstallLocation()
{
    CRegKey productKey;
    if (productKey.Open(HKEY_LOCAL_MACHINE, kProductUninstallKey, KEY_READ) != ERROR_SUCCESS) {
        CWnd* pMainWnd = AfxGetMainWnd();
        if (pMainWnd != NULL && pMainWnd->GetSafeHwnd() != NULL)
            pMainWnd->PostMessage(WM_CLOSE);
        return CString();
    }
    char szLocation[kInstallLocationSize];
    if (productKey.QueryStringValue(kInstallLocationValue, szLocation, sizeof szLocation) !=
        ERROR_SUCCESS)
        szLocation[0] = '\0';
    return CString(szLocation);
}

CString GetSetupDir()
{
    return GetInstallLocation() + kSetupDirSuffix;
}
