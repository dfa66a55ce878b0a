#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/TestPaths.h"

// What RunCapturingOutput saw of one program's run.
struct CapturedRun {
    bool bStarted = false;
    DWORD dwStartError = ERROR_SUCCESS; // CreateProcess's, where it failed
    bool bHung = false; // not ended within its limit: ended then, with all it had started
    DWORD dwExitCode = 0;
    std::string output;
};

// Starts exe with the arguments, in pszDir (NULL: this process's folder), in a job of its own,
// its standard output and error into the file outputPath, and waits at most dwLimitMs for it.
// A program still running then is ended, together with every program it started. The output
// goes to a file, not a pipe: Wine's services inherit handles, and a pipe could stay open after
// the program ended.
CapturedRun RunCapturingOutput(const std::string& exe, const std::string& arguments,
                               const char* pszDir, const std::string& outputPath, DWORD dwLimitMs);

// One start of FinishInstall.exe (or a copy of it), as an installer starts it. The process is
// closed at the end, and ended first if it is still running then.
class CProgramRun {
public:
    // kSuspended: made with its first thread not yet running, until Resume, so that several
    // starts can go at the same moment.
    enum Mode { kPlain, kUnderDebugger, kSuspended };

    // nShowCommand, where not kNoShowCommand, is the show command the program is started with
    // (STARTF_USESHOWWINDOW), as a deployment tool or an installer's "run minimised" gives it.
    static constexpr int kNoShowCommand = -1;
    explicit CProgramRun(const std::string& program = ProgramPath(), const char* pszDir = NULL,
                         Mode mode = kPlain, int nShowCommand = kNoShowCommand);
    ~CProgramRun();

    CProgramRun(const CProgramRun&) = delete;
    CProgramRun& operator=(const CProgramRun&) = delete;

    bool Started() const { return m_bStarted; }
    DWORD GetProcessId() const { return m_pi.dwProcessId; }
    void Resume() const { ResumeThread(m_pi.hThread); }
    // True when the program ended within dwMilliseconds; its exit code then in *pdwExitCode.
    bool WaitForEnd(DWORD dwMilliseconds, DWORD* pdwExitCode = NULL) const;
    // The program's progress dialog, once it is visible (at most 10 s); NULL when there is none.
    HWND FindDialog() const;

    // Under the debugger: handles debug events on this (the starting) thread until the program
    // ends or dwMilliseconds pass, collecting what it writes to the debug output, one entry per
    // write. onLine, when given, sees every entry as it arrives. True when the program ended.
    template <class OnLine>
    bool CollectDebugOutput(DWORD dwMilliseconds, std::vector<std::string>* pLines, OnLine onLine);
    bool CollectDebugOutput(DWORD dwMilliseconds, std::vector<std::string>* pLines)
    {
        return CollectDebugOutput(dwMilliseconds, pLines, [](const std::string&) {});
    }

private:
    // One debug event handled; false when the wait timed out. Sets *pbEnded at the process's end
    // and *pLine to a debug string when one came.
    bool HandleDebugEvent(DWORD dwMilliseconds, bool* pbEnded, std::string* pLine, bool* pbLine);
    static BOOL CALLBACK TakeDialog(HWND hWnd, LPARAM lParam);

    PROCESS_INFORMATION m_pi;
    bool m_bStarted;
    bool m_bDebugging;
    mutable HWND m_hDialog;
};

template <class OnLine>
bool CProgramRun::CollectDebugOutput(DWORD dwMilliseconds, std::vector<std::string>* pLines,
                                     OnLine onLine)
{
    const DWORD dwStart = GetTickCount();
    bool bEnded = false;
    while (!bEnded) {
        const DWORD dwElapsed = GetTickCount() - dwStart;
        if (dwElapsed >= dwMilliseconds)
            return false;
        std::string line;
        bool bLine = false;
        if (!HandleDebugEvent(dwMilliseconds - dwElapsed, &bEnded, &line, &bLine))
            return false;
        if (bLine) {
            pLines->push_back(line);
            onLine(line);
        }
    }
    return true;
}
