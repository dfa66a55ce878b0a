// The program the tests' steps launch in place of an installer's programs.
//
//   childprobe [--record FILE] [--handshake NAME] [--sleep MS] [--exit CODE] [--crash]
//              [--overrun BYTES]
//
// --record appends "start<TAB>time<TAB>current directory<TAB>command line" when it starts (the
// two texts in UTF-8, as the system gave them in UTF-16) and "end<TAB>time" before it ends;
// times are system time in 100 ns units, comparable between processes. --handshake sets the event
// NAME-ready and waits (at most 30 s) for NAME-go, so a test can look at the screen while this step
// runs. Then it sleeps, and exits with CODE (default 0) or crashes with an access violation.
// --overrun writes BYTES into a 16-byte local buffer, past its end where BYTES is more: built
// with the program's stack cookies and guard, the check that guards the program must end it.
// Without --record it records into the file that the environment variable CHILDPROBE_RECORD names,
// if set, so that it can be started with no arguments at all.

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

ULONGLONG Now()
{
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

void Append(const char* pszFile, const char* pszLine)
{
    HANDLE hFile = CreateFileA(pszFile, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return;
    DWORD cbWritten;
    WriteFile(hFile, pszLine, static_cast<DWORD>(strlen(pszLine)), &cbWritten, NULL);
    CloseHandle(hFile);
}

// What the system handed over, whatever this program's own code page: in UTF-8, from the
// wide-character form.
char* Utf8(const WCHAR* pszText)
{
    const int cb = WideCharToMultiByte(CP_UTF8, 0, pszText, -1, NULL, 0, NULL, NULL);
    char* psz = static_cast<char*>(malloc(cb > 0 ? cb : 1));
    psz[0] = '\0';
    WideCharToMultiByte(CP_UTF8, 0, pszText, -1, psz, cb, NULL, NULL);
    return psz;
}

void Handshake(const char* pszName)
{
    char szReady[MAX_PATH], szGo[MAX_PATH];
    snprintf(szReady, sizeof szReady, "%s-ready", pszName);
    snprintf(szGo, sizeof szGo, "%s-go", pszName);
    HANDLE hReady = CreateEventA(NULL, TRUE, FALSE, szReady);
    HANDLE hGo = CreateEventA(NULL, TRUE, FALSE, szGo);
    SetEvent(hReady);
    WaitForSingleObject(hGo, 30000);
    CloseHandle(hGo);
    CloseHandle(hReady);
}

// The write goes through a volatile pointer, so that it happens as written, however long.
void Overrun(size_t cb)
{
    char buffer[16];
    volatile char* p = buffer;
    for (size_t i = 0; i < cb; ++i)
        p[i] = 'x';
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    const char* pszRecord = NULL;
    const char* pszHandshake = NULL;
    DWORD dwSleep = 0;
    UINT nExitCode = 0;
    bool bCrash = false;
    size_t cbOverrun = 0;
    for (int i = 1; i < __argc; ++i) {
        const bool bHasValue = i + 1 < __argc;
        if (strcmp(__argv[i], "--record") == 0 && bHasValue)
            pszRecord = __argv[++i];
        else if (strcmp(__argv[i], "--handshake") == 0 && bHasValue)
            pszHandshake = __argv[++i];
        else if (strcmp(__argv[i], "--sleep") == 0 && bHasValue)
            dwSleep = strtoul(__argv[++i], NULL, 10);
        else if (strcmp(__argv[i], "--exit") == 0 && bHasValue)
            nExitCode = static_cast<UINT>(strtoul(__argv[++i], NULL, 10));
        else if (strcmp(__argv[i], "--crash") == 0)
            bCrash = true;
        else if (strcmp(__argv[i], "--overrun") == 0 && bHasValue)
            cbOverrun = strtoul(__argv[++i], NULL, 10);
    }

    char szRecordFromEnvironment[MAX_PATH];
    if (pszRecord == NULL &&
        GetEnvironmentVariableA("CHILDPROBE_RECORD", szRecordFromEnvironment, MAX_PATH) - 1 <
            MAX_PATH - 1)
        pszRecord = szRecordFromEnvironment;

    if (pszRecord != NULL) {
        WCHAR szDir[MAX_PATH] = L"";
        GetCurrentDirectoryW(MAX_PATH, szDir);
        char* pszDir = Utf8(szDir);
        char* pszCommandLine = Utf8(GetCommandLineW());
        const size_t cchLine = strlen(pszDir) + strlen(pszCommandLine) + 64;
        char* pszLine = static_cast<char*>(malloc(cchLine));
        snprintf(pszLine, cchLine, "start\t%llu\t%s\t%s\n", Now(), pszDir, pszCommandLine);
        Append(pszRecord, pszLine);
        free(pszLine);
        free(pszCommandLine);
        free(pszDir);
    }
    if (pszHandshake != NULL)
        Handshake(pszHandshake);
    Sleep(dwSleep);
    if (pszRecord != NULL) {
        char szLine[64];
        snprintf(szLine, sizeof szLine, "end\t%llu\n", Now());
        Append(pszRecord, szLine);
    }
    if (cbOverrun != 0) {
        // Called through a pointer the compiler cannot see through: not inlined into this
        // function, whose own locals lie between the buffer and a cookie.
        void (*volatile pfnOverrun)(size_t) = Overrun;
        pfnOverrun(cbOverrun);
    }
    if (bCrash)
        RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, NULL);
    return static_cast<int>(nExitCode);
}
