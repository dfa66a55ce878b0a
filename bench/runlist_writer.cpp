// Writes a run list for the benchmark, as an installer leaves one, in place of any run list
// there was.
//
//   bench_runlist STEPS INSTALL-LOCATION PROGRAM PARAMETERS [TRACE-FILE]
//
// Every one of the STEPS steps runs PROGRAM with PARAMETERS; their subkeys are named so that
// the registry's order is the steps' order. TRACE-FILE, when given, is the run list's TraceFile.
// Exits with 1 when the registry refuses a write.

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

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

int main(int argc, char** argv)
{
    if ((argc != 5 && argc != 6) || atoi(argv[1]) <= 0) {
        fprintf(stderr,
                "usage: bench_runlist STEPS INSTALL-LOCATION PROGRAM PARAMETERS [TRACE-FILE]\n");
        return 2;
    }
    const unsigned nSteps = static_cast<unsigned>(atoi(argv[1]));

    // Whatever an earlier run left (a run stopped early, say) must not add steps to this one.
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kProductUninstallKey);
    HKEY hProductKey = CreateKey(HKEY_LOCAL_MACHINE, kProductUninstallKey);
    if (hProductKey == NULL)
        return 1;
    bool bWritten = SetString(hProductKey, kInstallLocationValue, argv[2]);
    HKEY hManifestKey = CreateKey(hProductKey, kManifestSubKey + 1);
    RegCloseKey(hProductKey);
    if (hManifestKey == NULL)
        return 1;
    bWritten = bWritten && SetString(hManifestKey, kTitleValue, "Benchmark run list");
    if (argc == 6)
        bWritten = bWritten && SetString(hManifestKey, kTraceFileValue, argv[5]);
    for (unsigned nStep = 1; bWritten && nStep <= nSteps; ++nStep)
        bWritten = WriteStep(hManifestKey, nStep, nSteps, argv[3], argv[4]);
    RegCloseKey(hManifestKey);
    return bWritten ? 0 : 1;
}
