#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "bench/runlist.h"
#include "manifest/RegistryNames.h"

namespace {

// Four digits hold the most steps the program reads, and keep the names in order.
const char kStepNameFormat[] = "step%04u";
const char kStepTextFormat[] = "Installing benchmark component %u of %u";
const size_t kNameSize = 16;
const size_t kTextSize = 64;

bool SetString(HKEY hKey, const char* pszName, const char* pszValue)
{
    const LONG lResult =
        RegSetValueExA(hKey, pszName, 0, REG_SZ, reinterpret_cast<const BYTE*>(pszValue),
                       static_cast<DWORD>(strlen(pszValue) + 1));
    if (lResult != ERROR_SUCCESS)
        fprintf(stderr, "cannot write %s: error %ld\n", pszName, static_cast<long>(lResult));
    return lResult == ERROR_SUCCESS;
}

HKEY CreateKey(HKEY hParent, const char* pszPath)
{
    HKEY hKey = NULL;
    const LONG lResult =
        RegCreateKeyExA(hParent, pszPath, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &hKey, NULL);
    if (lResult != ERROR_SUCCESS) {
        fprintf(stderr, "cannot create %s: error %ld\n", pszPath, static_cast<long>(lResult));
        return NULL;
    }
    return hKey;
}

bool WriteStep(HKEY hManifestKey, unsigned nStep, unsigned nSteps, const char* pszProgram,
               const char* pszParameters)
{
    char szName[kNameSize];
    char szText[kTextSize];
    snprintf(szName, sizeof szName, kStepNameFormat, nStep);
    snprintf(szText, sizeof szText, kStepTextFormat, nStep, nSteps);
    HKEY hStepKey = CreateKey(hManifestKey, szName);
    if (hStepKey == NULL)
        return false;
    const bool bWritten = SetString(hStepKey, kTypeValue, kExecutableType) &&
                          SetString(hStepKey, kCommandValue, pszProgram) &&
                          SetString(hStepKey, kParametersValue, pszParameters) &&
                          SetString(hStepKey, kTextValue, szText);
    RegCloseKey(hStepKey);
    return bWritten;
}

} // namespace

bool WriteRunList(unsigned nSteps, const char* pszInstallLocation, const char* pszProgram,
                  const char* pszParameters, const char* pszTraceFile)
{
    // Whatever an earlier run left (a run stopped early, say) must not add steps to this one.
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kProductUninstallKey);
    HKEY hProductKey = CreateKey(HKEY_LOCAL_MACHINE, kProductUninstallKey);
    if (hProductKey == NULL)
        return false;
    bool bWritten = SetString(hProductKey, kInstallLocationValue, pszInstallLocation);
    HKEY hManifestKey = CreateKey(hProductKey, kManifestSubKey + 1);
    RegCloseKey(hProductKey);
    if (hManifestKey == NULL)
        return false;
    bWritten = bWritten && SetString(hManifestKey, kTitleValue, "Benchmark run list");
    if (pszTraceFile != NULL)
        bWritten = bWritten && SetString(hManifestKey, kTraceFileValue, pszTraceFile);
    for (unsigned nStep = 1; bWritten && nStep <= nSteps; ++nStep)
        bWritten = WriteStep(hManifestKey, nStep, nSteps, pszProgram, pszParameters);
    RegCloseKey(hManifestKey);
    return bWritten;
}
