// The watchdog every test binary carries, seen from outside: this binary started again on a test
// that never ends.

#include <gtest/gtest.h>

#include <windows.h>

#include <stdlib.h>

#include <string>

#include "support/Figures.h"
#include "support/ProgramRun.h"
#include "support/TestPaths.h"
#include "support/Watchdog.h"

namespace {

const char kDirVariable[] = "FINISHINSTALL_WATCHDOG_TEST_DIR";
const char kHungTest[] = "Watchdog.DISABLED_NeverEnds";

// Starts this binary on one test, its output into a file; the exit code, or -1 when it had not
// ended after dwMilliseconds (it is ended then).
long RunThisBinary(const std::string& filter, const std::string& outputPath, DWORD dwMilliseconds)
{
    char szSelf[MAX_PATH];
    GetModuleFileNameA(NULL, szSelf, MAX_PATH);
    const CapturedRun run =
        RunCapturingOutput(szSelf, "--gtest_also_run_disabled_tests --gtest_filter=" + filter, NULL,
                           outputPath, dwMilliseconds);
    return run.bStarted && !run.bHung ? static_cast<long>(run.dwExitCode) : -1;
}

} // namespace

// Run only by the test below, in a binary of its own: it starts a program that would run for a
// minute, then never ends.
TEST(Watchdog, DISABLED_NeverEnds)
{
    const char* pszDir = getenv(kDirVariable);
    ASSERT_NE(nullptr, pszDir);
    ClaimFigure("a test that never ends");
    SetTestTimeLimit(2);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    std::string commandLine = "\"" + ProbePath() + "\" --sleep 60000";
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessA(NULL, &commandLine[0], NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi));
    WriteFileText(std::string(pszDir) + "\\probe.txt", std::to_string(pi.dwProcessId));
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    Sleep(INFINITE);
}

TEST(Watchdog, EndsAHungTestNamingItAndEndsWhatItStarted)
{
    const std::string dir = MakeScratchDir("watchdog");
    SetEnvironmentVariableA(kDirVariable, dir.c_str());
    const DWORD dwStart = GetTickCount();
    const long nExitCode = RunThisBinary(kHungTest, dir + "\\output.txt", 60000);
    const DWORD dwElapsed = GetTickCount() - dwStart;
    SetEnvironmentVariableA(kDirVariable, NULL);

    const std::string output = ReadFileText(dir + "\\output.txt");
    const DWORD dwProbe = strtoul(ReadFileText(dir + "\\probe.txt").c_str(), NULL, 10);
    RemoveScratchDir(dir);
    EXPECT_EQ(static_cast<long>(CWatchdog::kExitCode), nExitCode) << output;
    EXPECT_LT(dwElapsed, 30000u) << "the binary was not ended near its test's 2 s limit";
    EXPECT_NE(std::string::npos,
              output.find(std::string("[ WATCHDOG ] ") + kHungTest + " did not end within 2 s"))
        << output;
    EXPECT_NE(std::string::npos, output.find("\nFAILED: a test that never ends\n")) << output;

    ASSERT_NE(0u, dwProbe) << "the hung test started no program";
    // A process id that names no process any more cannot be opened.
    HANDLE hProbe = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, dwProbe);
    DWORD dwWait = WAIT_OBJECT_0;
    if (hProbe != NULL) {
        dwWait = WaitForSingleObject(hProbe, 5000);
        if (dwWait != WAIT_OBJECT_0)
            TerminateProcess(hProbe, 1);
        CloseHandle(hProbe);
    } else {
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    }
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), dwWait)
        << "the program the hung test started still runs";
}
