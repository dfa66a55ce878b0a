// The floor that the program's start-up is measured against: about the least a Win32 program
// can do to show a modal dialog with one line of text and start a program from its first paint.
//
//   bench_floor [--thread] [--shell32] COMMAND-LINE
//
// Starts COMMAND-LINE (the rest of its own command line) at the dialog's first paint, waits for
// that program to end and closes. Bare, it reads no registry, loads no DLL beyond the dialog's
// and starts no thread: whatever the program does beyond this is its own overhead. Each option
// adds one of the program's costs, to tell how much of that overhead it explains:
//   --thread   the program is started and waited for by a worker thread, as the program's steps
//   --shell32  shell32.dll is loaded first, as the program's import of it loads it
// It writes two marks to the debug output, as the program writes its trace: at WM_INITDIALOG
// and at the first paint, where the benchmark's split of the start-up reads them. Each costs a
// few hundredths of a millisecond.

#include <windows.h>

#include <string.h>

namespace {

const int kDialogId = 1;
const char kThreadOption[] = "--thread";
const char kShell32Option[] = "--shell32";

struct FloorOptions {
    bool bThread;
    bool bShell32;
    char* pszCommandLine;
};

FloorOptions g_options;

char* SkipBlanks(char* p)
{
    while (*p == ' ' || *p == '\t')
        ++p;
    return p;
}

// The rest of the command line after the program's own name, which by the platform's rule is
// either quoted as a whole or ends at the first blank.
char* SkipProgramName(char* pszCommandLine)
{
    char* p = pszCommandLine;
    if (*p == '"') {
        ++p;
        while (*p != '\0' && *p != '"')
            ++p;
        if (*p == '"')
            ++p;
    } else {
        while (*p != '\0' && *p != ' ' && *p != '\t')
            ++p;
    }
    return SkipBlanks(p);
}

// True, and *ppsz moved past it, when the command line starts with this option as a word.
bool TakeOption(char** ppsz, const char* pszOption)
{
    const size_t cch = strlen(pszOption);
    const char chAfter = (*ppsz)[cch];
    if (strncmp(*ppsz, pszOption, cch) != 0 || (chAfter != ' ' && chAfter != '\t'))
        return false;
    *ppsz = SkipBlanks(*ppsz + cch);
    return true;
}

FloorOptions ParseCommandLine(char* pszCommandLine)
{
    FloorOptions options = {false, false, SkipProgramName(pszCommandLine)};
    for (;;) {
        if (TakeOption(&options.pszCommandLine, kThreadOption))
            options.bThread = true;
        else if (TakeOption(&options.pszCommandLine, kShell32Option))
            options.bShell32 = true;
        else
            return options;
    }
}

void RunAndWait(char* pszCommandLine)
{
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(NULL, pszCommandLine, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        return;
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

DWORD WINAPI RunThreadProc(LPVOID pParam)
{
    RunAndWait(g_options.pszCommandLine);
    PostMessageA(static_cast<HWND>(pParam), WM_CLOSE, 0, 0);
    return 0;
}

void StartRun(HWND hDlg)
{
    if (g_options.bThread) {
        HANDLE hThread = CreateThread(NULL, 0, &RunThreadProc, hDlg, 0, NULL);
        if (hThread != NULL) {
            CloseHandle(hThread);
            return;
        }
    }
    RunAndWait(g_options.pszCommandLine);
    EndDialog(hDlg, IDOK);
}

INT_PTR CALLBACK DialogProc(HWND hDlg, UINT message, WPARAM, LPARAM)
{
    static bool s_bStarted = false;
    switch (message) {
    case WM_INITDIALOG:
        OutputDebugStringA("bench_floor: dialog initialised\n");
        return TRUE;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(hDlg, &ps);
        EndPaint(hDlg, &ps);
        if (!s_bStarted) {
            s_bStarted = true;
            OutputDebugStringA("bench_floor: first paint\n");
            StartRun(hDlg);
        }
        return TRUE;
    }
    case WM_CLOSE:
        EndDialog(hDlg, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

} // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    g_options = ParseCommandLine(GetCommandLineA());
    // Kept loaded to the end, as an imported DLL is.
    if (g_options.bShell32)
        LoadLibraryA("shell32.dll");
    return static_cast<int>(
        DialogBoxParamA(hInstance, MAKEINTRESOURCEA(kDialogId), NULL, &DialogProc, 0));
}
