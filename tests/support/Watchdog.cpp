#include "support/Watchdog.h"

#include <tlhelp32.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "support/Figures.h"

namespace {

CWatchdog* g_pWatchdog = NULL;

void WriteToStandardOutput(const std::string& text)
{
    HANDLE hOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD cbWritten;
    if (hOutput != NULL && hOutput != INVALID_HANDLE_VALUE)
        WriteFile(hOutput, text.data(), static_cast<DWORD>(text.size()), &cbWritten, NULL);
}

// Every process started by this one, and by those, as far as the process list tells.
std::vector<DWORD> Descendants()
{
    std::vector<DWORD> found;
    HANDLE hSnapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (hSnapshot == INVALID_HANDLE_VALUE)
        return found;
    std::vector<PROCESSENTRY32> processes;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL bMore = Process32First(hSnapshot, &entry); bMore;
         bMore = Process32Next(hSnapshot, &entry))
        processes.push_back(entry);
    CloseHandle(hSnapshot);

    std::vector<DWORD> parents(1, GetCurrentProcessId());
    while (!parents.empty()) {
        const DWORD dwParent = parents.back();
        parents.pop_back();
        for (const PROCESSENTRY32& process : processes) {
            if (process.th32ParentProcessID == dwParent &&
                process.th32ProcessID != GetCurrentProcessId()) {
                found.push_back(process.th32ProcessID);
                parents.push_back(process.th32ProcessID);
            }
        }
    }
    return found;
}

} // namespace

CWatchdog::CWatchdog()
    : m_bStopping(false), m_bArmed(false), m_ullDeadline(0), m_dwLimitSeconds(kDefaultLimitSeconds)
{
    m_szTestName[0] = '\0';
    InitializeCriticalSection(&m_lock);
    m_hChanged = CreateEventA(NULL, FALSE, FALSE, NULL);
    m_hThread = CreateThread(NULL, 0, &CWatchdog::ThreadProc, this, 0, NULL);
    g_pWatchdog = this;
}

CWatchdog::~CWatchdog()
{
    g_pWatchdog = NULL;
    EnterCriticalSection(&m_lock);
    m_bStopping = true;
    LeaveCriticalSection(&m_lock);
    SetEvent(m_hChanged);
    WaitForSingleObject(m_hThread, INFINITE);
    CloseHandle(m_hThread);
    CloseHandle(m_hChanged);
    DeleteCriticalSection(&m_lock);
}

void CWatchdog::OnTestStart(const ::testing::TestInfo& test)
{
    EnterCriticalSection(&m_lock);
    snprintf(m_szTestName, sizeof m_szTestName, "%s.%s", test.test_suite_name(), test.name());
    LeaveCriticalSection(&m_lock);
    Arm(kDefaultLimitSeconds);
}

void CWatchdog::OnTestEnd(const ::testing::TestInfo&)
{
    EnterCriticalSection(&m_lock);
    m_bArmed = false;
    LeaveCriticalSection(&m_lock);
    SetEvent(m_hChanged);
}

void CWatchdog::Arm(DWORD dwSeconds)
{
    EnterCriticalSection(&m_lock);
    m_bArmed = true;
    m_dwLimitSeconds = dwSeconds;
    m_ullDeadline = GetTickCount64() + 1000ull * dwSeconds;
    LeaveCriticalSection(&m_lock);
    SetEvent(m_hChanged);
}

DWORD WINAPI CWatchdog::ThreadProc(LPVOID pParam)
{
    static_cast<CWatchdog*>(pParam)->Watch();
    return 0;
}

void CWatchdog::Watch()
{
    for (;;) {
        EnterCriticalSection(&m_lock);
        const bool bStopping = m_bStopping;
        const bool bArmed = m_bArmed;
        const ULONGLONG ullNow = GetTickCount64();
        const ULONGLONG ullDeadline = m_ullDeadline;
        LeaveCriticalSection(&m_lock);
        if (bStopping)
            return;
        if (bArmed && ullNow >= ullDeadline)
            EndTheBinary();
        const DWORD dwWait = bArmed ? static_cast<DWORD>(ullDeadline - ullNow) : INFINITE;
        WaitForSingleObject(m_hChanged, dwWait);
    }
}

void CWatchdog::EndTheBinary()
{
    EnterCriticalSection(&m_lock);
    char szLine[700];
    snprintf(szLine, sizeof szLine,
             "\n[ WATCHDOG ] %s did not end within %lu s: the test binary ends here\n",
             m_szTestName, static_cast<unsigned long>(m_dwLimitSeconds));
    LeaveCriticalSection(&m_lock);
    std::string text = szLine;
    const std::string figure = ClaimedFigure();
    if (!figure.empty())
        text += "FAILED: " + figure + "\n";
    WriteToStandardOutput(text);

    for (DWORD dwProcessId : Descendants()) {
        HANDLE hProcess = OpenProcess(PROCESS_TERMINATE, FALSE, dwProcessId);
        if (hProcess != NULL) {
            TerminateProcess(hProcess, kExitCode);
            CloseHandle(hProcess);
        }
    }
    TerminateProcess(GetCurrentProcess(), kExitCode);
}

void SetTestTimeLimit(DWORD dwSeconds)
{
    if (g_pWatchdog != NULL)
        g_pWatchdog->Arm(dwSeconds);
}
