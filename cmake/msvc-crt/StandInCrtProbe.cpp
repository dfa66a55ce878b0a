// What a program built on the stand-in start-up relies on, checked from inside one that is built
// with the program's own options (/GS, /guard:cf):
//
//   stand_in_crt_probe check MARKER   exits 0 when every check passed, else the failed check's
//                                     code; MARKER is made at exit by a static object's destructor
//   stand_in_crt_probe overrun BYTES  writes BYTES into a 16-byte local buffer
//
// The overrun is run in a child of its own, since the check it must trip ends the process.

#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

extern "C" uintptr_t __security_cookie;

namespace {

enum Failure {
    kNotInitialised = 101,
    kArguments,
    kInstance,
    kDefaultCookie,
    kLargeFrame,
    kIndirectCall,
    kOverrunNotStopped,
    kWithinBufferStopped,
};

// Set by a static object's constructor, which only the start-up's initialiser table calls.
int g_nConstructed = 0;
char g_szMarker[MAX_PATH] = "";

struct CStaticProbe {
    CStaticProbe() { g_nConstructed = 42; }
    // Runs from exit(), through atexit: the marker says that it did.
    ~CStaticProbe()
    {
        if (g_szMarker[0] == '\0')
            return;
        HANDLE hFile = CreateFileA(g_szMarker, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, NULL);
        if (hFile != INVALID_HANDLE_VALUE)
            CloseHandle(hFile);
    }
};
CStaticProbe g_probe;

// The write goes through a volatile pointer, so that it happens as written, however long.
__declspec(noinline) void Overrun(size_t cb)
{
    char buffer[16];
    volatile char* p = buffer;
    for (size_t i = 0; i < cb; ++i)
        p[i] = 'x';
}

// Four times the page-at-a-time limit: touched at its far end first, which without the stack
// probe lies beyond the guard page and faults.
__declspec(noinline) int TouchLargeFrame()
{
    volatile char frame[256 * 1024];
    frame[0] = 1;
    frame[sizeof frame - 1] = 2;
    return frame[0] + frame[sizeof frame - 1];
}

__declspec(noinline) int Twice(int n)
{
    return 2 * n;
}

DWORD RunChild(const char* pszArguments)
{
    char szSelf[MAX_PATH];
    GetModuleFileNameA(NULL, szSelf, MAX_PATH);
    char szCommandLine[2 * MAX_PATH];
    szCommandLine[sizeof szCommandLine - 1] = '\0';
    _snprintf(szCommandLine, sizeof szCommandLine - 1, "\"%s\" %s", szSelf, pszArguments);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(szSelf, szCommandLine, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        return static_cast<DWORD>(-1);
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD dwExitCode = static_cast<DWORD>(-1);
    GetExitCodeProcess(pi.hProcess, &dwExitCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return dwExitCode;
}

int Check(HINSTANCE hInstance, const char* pszArguments)
{
    if (g_nConstructed != 42)
        return kNotInitialised;
    // WinMain's command line starts after the program's name and the blanks that follow it.
    const char kMode[] = "check ";
    if (strncmp(pszArguments, kMode, sizeof kMode - 1) != 0)
        return kArguments;
    if (hInstance != GetModuleHandleA(NULL))
        return kInstance;
#ifdef _WIN64
    const uintptr_t kDefault = 0x00002B992DDFA232ull;
#else
    const uintptr_t kDefault = 0xBB40E64Eu;
#endif
    if (__security_cookie == kDefault || __security_cookie == 0)
        return kDefaultCookie;
    if (TouchLargeFrame() != 3)
        return kLargeFrame;
    int (*volatile pfnTwice)(int) = Twice;
    if (pfnTwice(21) != 42)
        return kIndirectCall;
    if (RunChild("overrun 64") != static_cast<DWORD>(STATUS_STACK_BUFFER_OVERRUN))
        return kOverrunNotStopped;
    if (RunChild("overrun 16") != 0)
        return kWithinBufferStopped;
    strncpy(g_szMarker, pszArguments + sizeof kMode - 1, sizeof g_szMarker - 1);
    return 0;
}

} // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR pszArguments, int)
{
    const char kOverrun[] = "overrun ";
    if (strncmp(pszArguments, kOverrun, sizeof kOverrun - 1) == 0) {
        Overrun(static_cast<size_t>(atoi(pszArguments + sizeof kOverrun - 1)));
        return 0;
    }
    return Check(hInstance, pszArguments);
}
