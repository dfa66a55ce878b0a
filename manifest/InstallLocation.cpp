#include "manifest/InstallLocation.h"

#include "framework/CTrace.h"
#include "manifest/CRegKey.h"
#include "manifest/RegistryNames.h"

CString GetInstallLocation()
{
    CRegKey productKey;
    const LONG lOpen = productKey.Open(HKEY_LOCAL_MACHINE, kProductUninstallKey, KEY_READ);
    if (lOpen != ERROR_SUCCESS) {
        CTrace::Line("install location empty: product key HKLM\\%s cannot be opened (error %ld): "
                     "the window closes",
                     kProductUninstallKey, lOpen);
        return CString();
    }
    char szLocation[kInstallLocationSize];
    const LONG lRead =
        productKey.QueryStringValue(kInstallLocationValue, szLocation, sizeof szLocation);
    if (lRead == ERROR_SUCCESS && szLocation[0] != '\0') {
        CTrace::Line("install location \"%s\"", szLocation);
        return CString(szLocation);
    }
    if (lRead == ERROR_SUCCESS)
        CTrace::Line("install location empty: %s is empty: the window closes",
                     kInstallLocationValue);
    else
        CTrace::Line(
            "install location empty: %s %s (error %ld): the window closes", kInstallLocationValue,
            lRead == ERROR_MORE_DATA ? "is longer than 259 characters" : "cannot be read", lRead);
    return CString();
}

CString GetSetupDir()
{
    return GetInstallLocation() + kSetupDirSuffix;
}
