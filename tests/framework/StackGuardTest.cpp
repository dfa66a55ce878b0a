// The stack cookies with the program's own guard, in childprobe.exe, which is built with both: a
// local buffer overrun ends the process with the platform's status for it before the function
// returns into what the overrun wrote; a write that stays within the buffer changes nothing.

#include <gtest/gtest.h>

#include <windows.h>

#include "support/ProgramRun.h"
#include "support/TestPaths.h"

namespace {

const DWORD kProbeLimitMs = 30000;

long OverrunExitCode(const std::string& dir, const char* pszBytes)
{
    const CapturedRun run = RunCapturingOutput(ProbePath(), std::string("--overrun ") + pszBytes,
                                               dir.c_str(), dir + "\\output.txt", kProbeLimitMs);
    EXPECT_TRUE(run.bStarted);
    EXPECT_FALSE(run.bHung);
    return static_cast<long>(run.dwExitCode);
}

} // namespace

TEST(StackGuard, AnOverrunEndsTheProcessAndAWriteWithinTheBufferDoesNot)
{
#ifndef FINISHINSTALL_STACK_COOKIES
    GTEST_SKIP() << "built without the stack protector (FINISHINSTALL_STACK_PROTECTOR=OFF)";
#endif
    const std::string dir = MakeScratchDir("overrun");
    EXPECT_EQ(0, OverrunExitCode(dir, "16"));
    EXPECT_EQ(static_cast<long>(STATUS_STACK_BUFFER_OVERRUN), OverrunExitCode(dir, "64"));
    RemoveScratchDir(dir);
}
