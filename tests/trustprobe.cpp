// Asks the system's verifier of signed files, WinVerifyTrust, about each file, as Windows asks
// before it starts a downloaded or elevated program, and prints its answer:
//
//   trustprobe FILE...
//
// prints "0xXXXXXXXX FILE" per FILE: the HRESULT, 0 for a signature the system accepts. The
// revocation check is left out (no revocation server is reachable from a test), and no window
// is shown. Exits 0 once every file has an answer.
//
// Windows also asks that the signer's root be a trusted one. Wine 8 does not (it accepts a
// signature whose root is in none of its stores), so the tests' throwaway root is not added to
// their prefixes' stores.

#include <windows.h>

#include <shellapi.h>
#include <softpub.h>
#include <stdio.h>
#include <wintrust.h>

namespace {

LONG Verify(const WCHAR* pszFile)
{
    WINTRUST_FILE_INFO file = {};
    file.cbStruct = sizeof file;
    file.pcwszFilePath = pszFile;

    WINTRUST_DATA data = {};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;

    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const LONG nResult = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    // The verification keeps its state until it is closed, whatever it answered.
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    return nResult;
}

} // namespace

int main()
{
    int nArgs = 0;
    WCHAR** ppszArgs = CommandLineToArgvW(GetCommandLineW(), &nArgs);
    if (ppszArgs == NULL || nArgs < 2) {
        fprintf(stderr, "usage: trustprobe FILE...\n");
        return 2;
    }
    for (int i = 1; i < nArgs; ++i)
        printf("0x%08lx %ls\n", static_cast<unsigned long>(Verify(ppszArgs[i])), ppszArgs[i]);
    LocalFree(ppszArgs);
    return 0;
}
