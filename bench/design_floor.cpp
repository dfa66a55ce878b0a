// The second floor of the start-up: exactly the platform calls the program's design prescribes
// for a run list of one step, in the same order, and nothing of the program's own (no
// framework, no run-list guard, no trace, no manifest, no accessibility). What the program takes
// beyond this is its framework's and its additions' cost; what this takes beyond bench_floor is
// the design's.
//
//   bench_design_floor            (reads the run list the benchmark wrote, as the program does)
//
// It reads the run list's values and its one step, deletes the step subkey, writes the display
// values, makes the line with its font and brushes, sizes and centres the window, and starts the
// step from a worker at the first paint, the line turning bold first. It writes five marks to
// the debug output, where the benchmark's split reads them: the dialog initialised, the run
// list read, the run list consumed, the first paint, and the step about to start (the line
// bold), where the program traces the step's command line.

#include <windows.h>

#include <string.h>

namespace {

const int kDialogId = 102;
const int kIconId = 128;
const DWORD kValueSize = 4095;
const DWORD kLocationSize = 260;
const int kLineId = 0xFFFF;
const int kMargin = 10;
const DWORD kPollMs = 1000;
const REGSAM kRead = KEY_READ;
const REGSAM kWrite = KEY_WRITE;

const char kProductKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{5E27B1C4-"
                           "9A30-4F8D-B6E2-0C41D97A38F5}";
const char kManifestKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                            "{5E27B1C4-9A30-4F8D-B6E2-0C41D97A38F5}\\Quillmere";
const char kDisplayKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                           "InstallShield_{5E27B1C4-9A30-4F8D-B6E2-0C41D97A38F5}";

struct Step {
    char szKeyName[kValueSize];
    char szCommandLine[65536];
    char szWorkingDir[kValueSize];
    char szText[kValueSize];
};

struct Line {
    HWND hWnd;
    LOGFONTA logFont;
    HFONT hFont;
    HBRUSH hBrushFace;
    HBRUSH hBrushFlash;
    COLORREF colorText;
};

Step g_step;
bool g_bHasStep = false;
Line g_line;
HICON g_hIcon;
char g_szDisplayName[kValueSize];
char g_szDisplayIcon[kValueSize];
bool g_bThreadStarted = false;

void ReadValue(HKEY hKey, const char* pszName, char* pszBuffer, DWORD cbBuffer)
{
    DWORD cb = cbBuffer;
    RegQueryValueExA(hKey, pszName, NULL, NULL, reinterpret_cast<BYTE*>(pszBuffer), &cb);
    pszBuffer[cbBuffer - 1] = '\0';
}

// The install location, read afresh at every use, as the design reads it (five times a step).
void ReadInstallLocation(char* pszLocation)
{
    pszLocation[0] = '\0';
    HKEY hKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProductKey, 0, kRead, &hKey) != ERROR_SUCCESS)
        return;
    ReadValue(hKey, "InstallLocation", pszLocation, kLocationSize);
    RegCloseKey(hKey);
}

// "%InstallDir%" and "%QuillmereDir%" in place, each replacement asking for the location anew.
void Expand(const char* pszIn, char* pszOut, size_t cchOut)
{
    char szLocation[kLocationSize];
    char szSetup[kLocationSize + 8];
    ReadInstallLocation(szLocation);
    ReadInstallLocation(szSetup);
    strcat(szSetup, "\\Setup");
    size_t n = 0;
    for (const char* p = pszIn; *p != '\0' && n + 1 < cchOut;) {
        const char* pszWith = NULL;
        size_t cchToken = 0;
        if (strncmp(p, "%InstallDir%", 12) == 0) {
            pszWith = szLocation;
            cchToken = 12;
        } else if (strncmp(p, "%QuillmereDir%", 14) == 0) {
            pszWith = szSetup;
            cchToken = 14;
        }
        if (pszWith == NULL) {
            pszOut[n++] = *p++;
            continue;
        }
        for (const char* q = pszWith; *q != '\0' && n + 1 < cchOut; ++q)
            pszOut[n++] = *q;
        p += cchToken;
    }
    pszOut[n] = '\0';
}

void LoadManifest(HWND hDlg)
{
    HKEY hManifest;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kManifestKey, 0, kRead, &hManifest) != ERROR_SUCCESS) {
        PostMessageA(hDlg, WM_CLOSE, 0, 0);
        return;
    }
    static char szValue[kValueSize];
    ReadValue(hManifest, "Title", szValue, kValueSize);
    SetWindowTextA(hDlg, szValue);
    ReadValue(hManifest, "DisplayName", g_szDisplayName, kValueSize);
    ReadValue(hManifest, "DisplayIcon", g_szDisplayIcon, kValueSize);
    for (DWORD dwIndex = 0;; ++dwIndex) {
        char szName[kValueSize];
        DWORD cchName = kValueSize;
        FILETIME ft;
        const LONG lResult =
            RegEnumKeyExA(hManifest, dwIndex, szName, &cchName, NULL, NULL, NULL, &ft);
        if (lResult != ERROR_SUCCESS && lResult != ERROR_MORE_DATA)
            break;
        HKEY hStep;
        if (RegOpenKeyExA(hManifest, szName, 0, kRead, &hStep) != ERROR_SUCCESS)
            continue;
        szValue[0] = '\0';
        ReadValue(hStep, "type", szValue, kValueSize);
        if (!g_bHasStep && strcmp(szValue, "executable") == 0) {
            strcpy(g_step.szKeyName, szName);
            static char szCommand[kValueSize], szParameters[kValueSize], szExpanded[kValueSize];
            ReadValue(hStep, "command", szCommand, kValueSize);
            Expand(szCommand, szExpanded, kValueSize);
            ReadValue(hStep, "parameters", szParameters, kValueSize);
            strcpy(g_step.szCommandLine, "\"");
            strcat(g_step.szCommandLine, szExpanded);
            strcat(g_step.szCommandLine, "\" ");
            Expand(szParameters, szExpanded, kValueSize);
            strcat(g_step.szCommandLine, szExpanded);
            ReadValue(hStep, "text", g_step.szText, kValueSize);
            ReadValue(hStep, "timeout", szValue, kValueSize);
            Expand("%QuillmereDir%", g_step.szWorkingDir, kValueSize);
            g_bHasStep = true;
        }
        RegCloseKey(hStep);
    }
    RegCloseKey(hManifest);
    OutputDebugStringA("bench_design_floor: run list read\n");
}

void CreateStepLabels(HWND hDlg)
{
    int y = kMargin;
    int nMaxWidth = 0;
    if (g_bHasStep) {
        g_line.colorText = GetSysColor(COLOR_WINDOWTEXT);
        g_line.hBrushFace = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
        g_line.hBrushFlash = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
        GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof g_line.logFont, &g_line.logFont);
        g_line.hFont = CreateFontIndirectA(&g_line.logFont);
        g_line.hWnd =
            CreateWindowExA(0, "STATIC", g_step.szText, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, hDlg,
                            reinterpret_cast<HMENU>(kLineId), GetModuleHandleA(NULL), NULL);
        HDC hDC = GetDC(g_line.hWnd);
        const DWORD dwExtent = GetTabbedTextExtentA(
            hDC, g_step.szText, static_cast<int>(strlen(g_step.szText)), 0, NULL);
        ReleaseDC(g_line.hWnd, hDC);
        const int nWidth = static_cast<short>(LOWORD(dwExtent));
        const int nHeight = static_cast<short>(HIWORD(dwExtent));
        SetWindowPos(g_line.hWnd, NULL, kMargin, y, nWidth, nHeight, SWP_NOZORDER);
        y += nHeight + kMargin;
        nMaxWidth = nWidth > nMaxWidth ? nWidth : nMaxWidth;
    }
    SetWindowPos(hDlg, NULL, 0, 0, nMaxWidth + 2 * kMargin, y + 30, SWP_NOMOVE | SWP_NOZORDER);
}

void WriteDisplayValues()
{
    HKEY hKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDisplayKey, 0, kWrite, &hKey) != ERROR_SUCCESS)
        return;
    if (g_szDisplayName[0] != '\0')
        RegSetValueExA(hKey, "DisplayName", 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(g_szDisplayName),
                       static_cast<DWORD>(strlen(g_szDisplayName) + 1));
    if (g_szDisplayIcon[0] != '\0')
        RegSetValueExA(hKey, "DisplayIcon", 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(g_szDisplayIcon),
                       static_cast<DWORD>(strlen(g_szDisplayIcon) + 1));
    RegCloseKey(hKey);
}

void DeleteStepKeys(HWND hDlg)
{
    HKEY hKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kManifestKey, 0, kWrite, &hKey) != ERROR_SUCCESS) {
        PostMessageA(hDlg, WM_CLOSE, 0, 0);
        return;
    }
    if (g_bHasStep)
        RegDeleteKeyA(hKey, g_step.szKeyName);
    RegCloseKey(hKey);
    OutputDebugStringA("bench_design_floor: run list consumed\n");
}

// The framework centres the dialog on the work area once its initialisation has returned.
void CentreOnWorkArea(HWND hDlg)
{
    RECT rcArea, rcWindow;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &rcArea, 0);
    GetWindowRect(hDlg, &rcWindow);
    const int x = rcArea.left + (rcArea.right - rcArea.left - (rcWindow.right - rcWindow.left)) / 2;
    const int y = rcArea.top + (rcArea.bottom - rcArea.top - (rcWindow.bottom - rcWindow.top)) / 2;
    SetWindowPos(hDlg, NULL, x, y, -1, -1, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void SetBold(BOOL bBold)
{
    g_line.logFont.lfWeight = bBold ? FW_BOLD : FW_NORMAL;
    DeleteObject(g_line.hFont);
    g_line.hFont = CreateFontIndirectA(&g_line.logFont);
    RedrawWindow(g_line.hWnd, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

DWORD WINAPI RunSteps(LPVOID pParam)
{
    if (g_bHasStep) {
        SetBold(TRUE);
        OutputDebugStringA("bench_design_floor: step starting\n");
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        if (CreateProcessA(NULL, g_step.szCommandLine, NULL, NULL, FALSE, 0, NULL,
                           g_step.szWorkingDir, &si, &pi)) {
            DWORD dwExitCode = STILL_ACTIVE;
            for (;;) {
                Sleep(kPollMs);
                GetExitCodeProcess(pi.hProcess, &dwExitCode);
                if (dwExitCode != STILL_ACTIVE)
                    break;
            }
            CloseHandle(pi.hThread);
            CloseHandle(pi.hProcess);
        }
    }
    PostMessageA(static_cast<HWND>(pParam), WM_CLOSE, 0, 0);
    return 0;
}

INT_PTR CALLBACK DialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OutputDebugStringA("bench_design_floor: dialog initialised\n");
        SendMessageA(hDlg, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(g_hIcon));
        SendMessageA(hDlg, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(g_hIcon));
        LoadManifest(hDlg);
        CreateStepLabels(hDlg);
        WriteDisplayValues();
        DeleteStepKeys(hDlg);
        CentreOnWorkArea(hDlg);
        return TRUE;
    case WM_CTLCOLORSTATIC:
        if (reinterpret_cast<HWND>(lParam) != g_line.hWnd || g_line.hWnd == NULL)
            return FALSE;
        SelectObject(reinterpret_cast<HDC>(wParam), g_line.hFont);
        SetTextColor(reinterpret_cast<HDC>(wParam), g_line.colorText);
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<INT_PTR>(g_line.hBrushFace);
    case WM_PAINT:
        if (IsIconic(hDlg))
            return FALSE;
        // The default painting first, as the dialog's own handler does.
        DefWindowProcA(hDlg, message, wParam, lParam);
        if (!g_bThreadStarted) {
            g_bThreadStarted = true;
            OutputDebugStringA("bench_design_floor: first paint\n");
            HANDLE hThread = CreateThread(NULL, 0, &RunSteps, hDlg, 0, NULL);
            if (hThread != NULL)
                CloseHandle(hThread);
        }
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(hDlg, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

} // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    g_hIcon = LoadIconA(hInstance, MAKEINTRESOURCEA(kIconId));
    return static_cast<int>(
        DialogBoxParamA(hInstance, MAKEINTRESOURCEA(kDialogId), NULL, &DialogProc, 0));
}
