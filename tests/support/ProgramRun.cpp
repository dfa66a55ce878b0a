#include "support/ProgramRun.h"

#include <string.h>

namespace {

// CreateProcessA, tried once more where Wine fails it with ERROR_INTERNAL_ERROR: such a start
// works when tried again at once, and any other failure is the answer. Gives the error of the
// last try, or ERROR_SUCCESS.
DWORD StartProcess(const char* pszApplication, std::string& commandLine, BOOL bInheritHandles,
                   DWORD dwFlags, const char* pszDir, STARTUPINFOA* pSi, PROCESS_INFORMATION* pPi)
{
    DWORD dwError = ERROR_SUCCESS;
    for (int nTry = 0; nTry < 2; ++nTry) {
        if (CreateProcessA(pszApplication, &commandLine[0], NULL, NULL, bInheritHandles, dwFlags,
                           NULL, pszDir, pSi, pPi))
            return ERROR_SUCCESS;
        dwError = GetLastError();
        if (dwError != ERROR_INTERNAL_ERROR)
            break;
    }
    return dwError;
}

} // namespace

CProgramRun::CProgramRun(const std::string& program, const char* pszDir, Mode mode,
                         int nShowCommand)
    : m_pi(), m_bStarted(false), m_bDebugging(mode == kUnderDebugger), m_hDialog(NULL)
{
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    if (nShowCommand != kNoShowCommand) {
        si.dwFlags = STARTF_USESHOWWINDOW;
        si.wShowWindow = static_cast<WORD>(nShowCommand);
    }
    std::string commandLine = "\"" + program + "\"";
    const DWORD dwFlags = m_bDebugging         ? DEBUG_ONLY_THIS_PROCESS
                          : mode == kSuspended ? CREATE_SUSPENDED
                                               : 0;
    m_bStarted =
        StartProcess(NULL, commandLine, FALSE, dwFlags, pszDir, &si, &m_pi) == ERROR_SUCCESS;
}

CProgramRun::~CProgramRun()
{
    if (!m_bStarted)
        return;
    if (WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT)
        TerminateProcess(m_pi.hProcess, 99);
    if (m_bDebugging)
        DebugActiveProcessStop(m_pi.dwProcessId);
    CloseHandle(m_pi.hThread);
    CloseHandle(m_pi.hProcess);
}

bool CProgramRun::WaitForEnd(DWORD dwMilliseconds, DWORD* pdwExitCode) const
{
    if (WaitForSingleObject(m_pi.hProcess, dwMilliseconds) != WAIT_OBJECT_0)
        return false;
    DWORD dwExitCode = 0;
    GetExitCodeProcess(m_pi.hProcess, &dwExitCode);
    if (pdwExitCode != NULL)
        *pdwExitCode = dwExitCode;
    return true;
}

HWND CProgramRun::FindDialog() const
{
    for (int i = 0; i < 200; ++i) {
        m_hDialog = NULL;
        EnumWindows(&CProgramRun::TakeDialog, reinterpret_cast<LPARAM>(this));
        if (m_hDialog != NULL)
            return m_hDialog;
        Sleep(50);
    }
    return NULL;
}

BOOL CALLBACK CProgramRun::TakeDialog(HWND hWnd, LPARAM lParam)
{
    const CProgramRun* pRun = reinterpret_cast<const CProgramRun*>(lParam);
    DWORD dwProcessId = 0;
    GetWindowThreadProcessId(hWnd, &dwProcessId);
    char szClass[16] = "";
    GetClassNameA(hWnd, szClass, sizeof szClass);
    if (dwProcessId == pRun->m_pi.dwProcessId && IsWindowVisible(hWnd) &&
        strcmp(szClass, "#32770") == 0) {
        pRun->m_hDialog = hWnd;
        return FALSE;
    }
    return TRUE;
}

bool CProgramRun::HandleDebugEvent(DWORD dwMilliseconds, bool* pbEnded, std::string* pLine,
                                   bool* pbLine)
{
    DEBUG_EVENT event;
    if (!WaitForDebugEvent(&event, dwMilliseconds))
        return false;
    DWORD dwContinue = DBG_CONTINUE;
    switch (event.dwDebugEventCode) {
    case CREATE_PROCESS_DEBUG_EVENT:
        if (event.u.CreateProcessInfo.hFile != NULL)
            CloseHandle(event.u.CreateProcessInfo.hFile);
        break;
    case LOAD_DLL_DEBUG_EVENT:
        if (event.u.LoadDll.hFile != NULL)
            CloseHandle(event.u.LoadDll.hFile);
        break;
    case EXCEPTION_DEBUG_EVENT:
        // The loader's first breakpoint is ours to pass; anything else is the program's own.
        if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
            dwContinue = DBG_EXCEPTION_NOT_HANDLED;
        break;
    case OUTPUT_DEBUG_STRING_EVENT: {
        const OUTPUT_DEBUG_STRING_INFO& info = event.u.DebugString;
        std::string text(info.nDebugStringLength, '\0');
        SIZE_T cbRead = 0;
        if (!info.fUnicode && info.nDebugStringLength != 0 &&
            ReadProcessMemory(m_pi.hProcess, info.lpDebugStringData, &text[0], text.size(),
                              &cbRead)) {
            text.resize(strnlen(text.c_str(), cbRead));
            *pLine = text;
            *pbLine = true;
        }
        break;
    }
    case EXIT_PROCESS_DEBUG_EVENT:
        *pbEnded = true;
        break;
    default:
        break;
    }
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, dwContinue);
    return true;
}

CapturedRun RunCapturingOutput(const std::string& exe, const std::string& arguments,
                               const char* pszDir, const std::string& outputPath, DWORD dwLimitMs)
{
    CapturedRun result;
    SECURITY_ATTRIBUTES sa = {sizeof sa, NULL, TRUE};
    HANDLE hOutput =
        CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hOutput == INVALID_HANDLE_VALUE)
        return result;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = hOutput;
    si.hStdError = hOutput;
    std::string commandLine = "\"" + exe + "\"";
    if (!arguments.empty())
        commandLine += " " + arguments;
    PROCESS_INFORMATION pi = {};
    result.dwStartError = StartProcess(exe.c_str(), commandLine, TRUE,
                                       CREATE_SUSPENDED | CREATE_NO_WINDOW, pszDir, &si, &pi);
    CloseHandle(hOutput);
    if (result.dwStartError != ERROR_SUCCESS)
        return result;
    result.bStarted = true;

    HANDLE hJob = CreateJobObjectA(NULL, NULL);
    // Without the job a hang still ends the program itself, just not what it started.
    if (hJob != NULL && !AssignProcessToJobObject(hJob, pi.hProcess)) {
        CloseHandle(hJob);
        hJob = NULL;
    }
    ResumeThread(pi.hThread);
    if (WaitForSingleObject(pi.hProcess, dwLimitMs) == WAIT_TIMEOUT) {
        result.bHung = true;
        if (hJob != NULL)
            TerminateJobObject(hJob, 1);
        TerminateProcess(pi.hProcess, 1);
        WaitForSingleObject(pi.hProcess, 10000);
    }
    GetExitCodeProcess(pi.hProcess, &result.dwExitCode);
    if (hJob != NULL)
        CloseHandle(hJob);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    result.output = ReadFileText(outputPath);
    return result;
}
