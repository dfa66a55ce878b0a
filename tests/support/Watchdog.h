#pragma once

#include <windows.h>

#include <gtest/gtest.h>

// Ends the test binary when a test runs past its time limit, so that a test whose program never
// closes fails within its limit instead of at CTest's, naming itself, and CTest goes on with the
// next binary. Every test gets kDefaultLimitSeconds from its start; a test that knows it needs
// less (or a long one that re-arms for each round) calls SetTestTimeLimit.
//
// At the limit the watchdog writes the test's name (and its figure, as FAILED, when it claimed
// one), ends every program the binary started and their programs, and ends the binary with
// kExitCode. Its output is written straight to the standard output handle: the hung thread may
// hold the C runtime's stream locks.
class CWatchdog : public ::testing::EmptyTestEventListener {
public:
    static const DWORD kDefaultLimitSeconds = 120;
    static const UINT kExitCode = 124;

    CWatchdog();
    ~CWatchdog() override;

    CWatchdog(const CWatchdog&) = delete;
    CWatchdog& operator=(const CWatchdog&) = delete;

    void OnTestStart(const ::testing::TestInfo& test) override;
    void OnTestEnd(const ::testing::TestInfo& test) override;

    // The running test must end within dwSeconds from now.
    void Arm(DWORD dwSeconds);

private:
    static DWORD WINAPI ThreadProc(LPVOID pParam);
    void Watch();
    void EndTheBinary();

    CRITICAL_SECTION m_lock;
    HANDLE m_hChanged; // set whenever the deadline changes or the watchdog is to stop
    HANDLE m_hThread;
    bool m_bStopping;
    bool m_bArmed;
    ULONGLONG m_ullDeadline; // GetTickCount64 time
    DWORD m_dwLimitSeconds;
    char m_szTestName[512];
};

// Sets the running test's limit to dwSeconds from now, in the binary's watchdog (if any).
void SetTestTimeLimit(DWORD dwSeconds);
