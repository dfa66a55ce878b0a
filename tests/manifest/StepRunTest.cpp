#include <gtest/gtest.h>

#include <stdio.h>

#include <string>

#include "manifest/CInstallStep.h"
#include "manifest/CRunList.h"
#include "manifest/ProgramSearch.h"
#include "support/HandleCount.h"
#include "support/InstalledProduct.h"
#include "support/TestPaths.h"
#include "support/TestRegistry.h"

namespace {

// Steps loaded from a run list of the installed product, launching childprobe.exe.
class StepRunTest : public InstalledProductTest {
protected:
    void TearDown() override
    {
        runList.FreeSteps();
        InstalledProductTest::TearDown();
    }

    CInstallStep& LoadOnly()
    {
        runList.LoadManifest();
        EXPECT_EQ(1u, runList.m_nSteps);
        return *runList.m_steps[0];
    }

    // Runs the step and returns how long Run took, in seconds.
    double TimedRun(CInstallStep& step, DWORD* pdwExitCode)
    {
        LARGE_INTEGER frequency, start, end;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&start);
        *pdwExitCode = step.Run();
        QueryPerformanceCounter(&end);
        return static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart;
    }

    CRunList runList;
};

std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

} // namespace

TEST_F(StepRunTest, ChildEndingAfter200MsIsSeenAtTheFirstLookOneSecondLater)
{
    WriteProbeStep("a", "--sleep 200 --exit 0");
    DWORD dwExitCode = 1;
    const double seconds = TimedRun(LoadOnly(), &dwExitCode);
    EXPECT_EQ(0u, dwExitCode);
    EXPECT_GE(seconds, 0.9);
    EXPECT_LE(seconds, 3.0);
}

TEST_F(StepRunTest, ChildRunning2500MsIsSeenAtTheThirdLook)
{
    WriteProbeStep("a", "--sleep 2500 --exit 3");
    DWORD dwExitCode = 0;
    const double seconds = TimedRun(LoadOnly(), &dwExitCode);
    EXPECT_EQ(3u, dwExitCode);
    EXPECT_GE(seconds, 2.9);
    EXPECT_LE(seconds, 5.0);
}

TEST_F(StepRunTest, CommandNamingNoProgramReturnsStillActiveAtOnce)
{
    WriteStep("a", "executable", "%InstallDir%\\no such program.exe", "-q");
    DWORD dwExitCode = 0;
    const double seconds = TimedRun(LoadOnly(), &dwExitCode);
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), dwExitCode);
    EXPECT_LT(seconds, 0.5);
}

// Only a drive letter with a backslash (or slash) and a network path are full paths; anything
// else the platform would look for in places anyone may write to.
TEST(ProgramSearch, FullPathsAreDriveRootedOrNetworkPathsOnly)
{
    for (const char* pszFull : {"C:\\Tools\\a.exe", "z:/a.exe", "\\\\server\\share\\a.exe",
                                "//server/share/a.exe", "\\\\?\\C:\\a.exe"})
        EXPECT_TRUE(IsFullPath(pszFull)) << pszFull;
    for (const char* pszNot : {"a.exe", "drivers\\a.exe", "C:a.exe", "\\a.exe", "/a.exe",
                               "\"C:\\Tools\\a.exe\"", ".\\a.exe", "1:\\a.exe", ""})
        EXPECT_FALSE(IsFullPath(pszNot)) << pszNot;
}

// The setup directory comes first, then the system folder; a bare name gets ".exe".
TEST_F(StepRunTest, ProgramWithoutAFullPathIsFoundInTheSetupDirectoryThenTheSystemFolder)
{
    char szSystem[MAX_PATH];
    ASSERT_NE(0u, GetSystemDirectoryA(szSystem, MAX_PATH));
    EXPECT_STREQ((std::string(szSystem) + "\\cmd.exe").c_str(),
                 FindStepProgram("cmd.exe", m_setupDir.c_str()));
    EXPECT_STREQ((std::string(szSystem) + "\\cmd.exe").c_str(),
                 FindStepProgram("cmd", m_setupDir.c_str()));
    ASSERT_TRUE(CopyFileA(ProbePath().c_str(), (m_setupDir + "\\cmd.exe").c_str(), FALSE));
    EXPECT_STREQ((m_setupDir + "\\cmd.exe").c_str(), FindStepProgram("cmd", m_setupDir.c_str()));
    ASSERT_TRUE(CreateDirectoryA((m_setupDir + "\\folder.exe").c_str(), NULL));
    EXPECT_STREQ("", FindStepProgram("folder.exe", m_setupDir.c_str())) << "a folder is no program";
    EXPECT_STREQ("", FindStepProgram("", m_setupDir.c_str()));
}

// Looked for as the step starts: a program an earlier step put in the setup directory is found,
// and started by its full path.
TEST_F(StepRunTest, ProgramWithoutAFullPathIsLookedForAsTheStepStarts)
{
    WriteStep("a", "executable", "drivers\\inst", ProbeArguments(m_record).c_str());
    CInstallStep& step = LoadOnly();
    ASSERT_TRUE(CreateDirectoryA((m_setupDir + "\\drivers").c_str(), NULL));
    ASSERT_TRUE(
        CopyFileA(ProbePath().c_str(), (m_setupDir + "\\drivers\\inst.exe").c_str(), FALSE));
    EXPECT_EQ(0u, step.Run());
    const std::vector<ProbeRun> runs = ReadProbeRuns(m_record);
    ASSERT_EQ(1u, runs.size());
    EXPECT_EQ(Quoted(m_setupDir + "\\drivers\\inst.exe") + " " + ProbeArguments(m_record),
              runs[0].commandLine);
}

// Nothing to start: no command, a command the search does not find, a quoted one.
TEST_F(StepRunTest, StepWithoutAProgramToStartStartsNothing)
{
    SetEnvironmentVariableA("CHILDPROBE_RECORD", m_record.c_str());
    const std::string probe = ProbePath();
    const std::string name = probe.substr(probe.rfind('\\') + 1);
    for (const char* pszCommand : {static_cast<const char*>(NULL), "", "nowhere.exe"}) {
        runList.FreeSteps();
        WriteStep("a", "executable", pszCommand, Quoted(probe).c_str());
        EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), LoadOnly().Run())
            << (pszCommand != NULL ? pszCommand : "(absent)");
    }
    runList.FreeSteps();
    WriteStep("a", "executable", Quoted(probe).c_str());
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), LoadOnly().Run()) << "a quoted command";
    EXPECT_TRUE(ReadProbeRuns(m_record).empty()) << name << " ran";
    SetEnvironmentVariableA("CHILDPROBE_RECORD", NULL);
}

TEST_F(StepRunTest, ChildSeesTheQuotedCommandThenOneBlankThenTheParameters)
{
    WriteProbeStep("a", "--exit 0");
    LoadOnly().Run();
    const std::vector<ProbeRun> runs = ReadProbeRuns(m_record);
    ASSERT_EQ(1u, runs.size());
    EXPECT_EQ(Quoted(ProbePath()) + " " + ProbeArguments(m_record, "--exit 0"),
              runs[0].commandLine);
}

TEST_F(StepRunTest, StepWithoutParametersEndsItsLineWithOneBlank)
{
    SetEnvironmentVariableA("CHILDPROBE_RECORD", m_record.c_str());
    WriteStep("a", "executable", ProbePath().c_str());
    LoadOnly().Run();
    const std::vector<ProbeRun> runs = ReadProbeRuns(m_record);
    ASSERT_EQ(1u, runs.size());
    EXPECT_EQ(Quoted(ProbePath()) + " ", runs[0].commandLine);
}

TEST_F(StepRunTest, ChildRunsInTheSetupDirectory)
{
    WriteProbeStep("a", "");
    LoadOnly().Run();
    const std::vector<ProbeRun> runs = ReadProbeRuns(m_record);
    ASSERT_EQ(1u, runs.size());
    EXPECT_EQ(m_setupDir, runs[0].currentDir);
}

// The import lands in the registry view this program itself reads and writes, the one its run
// list is in: the 32-bit view for the shipped 32-bit program on 64-bit Windows, and never the
// other one, where the product would not find its settings.
TEST_F(StepRunTest, RegStepImportsTheFileSilentlyIntoTheProgramsOwnViewAndIsWaitedFor)
{
    const std::string scratchKey = "SOFTWARE\\FinishInstallTests\\Imported";
#ifdef _WIN64
    const REGSAM samOtherView = KEY_WOW64_32KEY;
#else
    BOOL bWow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &bWow64);
    const REGSAM samOtherView = bWow64 ? KEY_WOW64_64KEY : 0; // 32-bit Windows has one view
#endif
    DeleteKeyTree(scratchKey);
    WriteFileText(m_dir + "\\import.reg", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\" + scratchKey +
                                              "]\r\n\"Answer\"=\"42\"\r\n");
    WriteStep("a", "reg", "%InstallDir%\\import.reg");
    DWORD dwExitCode = STILL_ACTIVE;
    const double seconds = TimedRun(LoadOnly(), &dwExitCode);
    EXPECT_EQ(0u, dwExitCode);
    EXPECT_GE(seconds, 0.9);
    EXPECT_EQ("42", ReadStringValue(scratchKey, "Answer"));
    if (samOtherView != 0) {
        HKEY hKey;
        const LONG lOther = RegOpenKeyExA(HKEY_LOCAL_MACHINE, scratchKey.c_str(), 0,
                                          KEY_READ | samOtherView, &hKey);
        if (lOther == ERROR_SUCCESS)
            RegCloseKey(hKey);
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, lOther) << "the import went to the other registry view";
    }
    DeleteKeyTree("SOFTWARE\\FinishInstallTests");
}

TEST_F(StepRunTest, ChildReturningStillActiveOrCrashingEndsTheWaitAndTheNextStepRuns)
{
    WriteProbeStep("1", "--exit 259");
    WriteProbeStep("2", "--crash");
    WriteProbeStep("3", "--exit 7");
    runList.LoadManifest();
    ASSERT_EQ(3u, runList.m_nSteps);

    DWORD dwExitCode = 0;
    double seconds = TimedRun(*runList.m_steps[0], &dwExitCode);
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), dwExitCode);
    EXPECT_LT(seconds, 3.0);

    seconds = TimedRun(*runList.m_steps[1], &dwExitCode);
    EXPECT_NE(0u, dwExitCode);
    EXPECT_NE(static_cast<DWORD>(STILL_ACTIVE), dwExitCode);
    EXPECT_LT(seconds, 5.0);

    EXPECT_EQ(7u, runList.m_steps[2]->Run());
    EXPECT_EQ(3u, ReadProbeRuns(m_record).size());
}

TEST_F(StepRunTest, CommandLineLongerThanTheBufferIsNotLaunched)
{
    // 300 tokens of a 240-character location make a line of about 72000 characters.
    const std::string location = m_dir + "\\" + std::string(240 - m_dir.size() - 1, 'L');
    SetInstallLocation(location);
    std::string parameters;
    for (int i = 0; i < 300; ++i)
        parameters += "%InstallDir%";
    WriteStep("a", "executable", ProbePath().c_str(), parameters.c_str());
    // The probe would record a start here even without arguments of its own.
    SetEnvironmentVariableA("CHILDPROBE_RECORD", m_record.c_str());
    DWORD dwExitCode = 0;
    const double seconds = TimedRun(LoadOnly(), &dwExitCode);
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), dwExitCode);
    EXPECT_LT(seconds, 0.5);
    EXPECT_TRUE(ReadProbeRuns(m_record).empty()) << "the program was started";
}

TEST_F(StepRunTest, RunListRunsEndToEndInEnumerationOrderOneAfterAnother)
{
    WriteProbeStep("c", "--sleep 100 --exit 3");
    WriteProbeStep("a", "--sleep 300");
    WriteProbeStep("B", "--sleep 100 --exit 1");
    runList.LoadManifest();
    runList.DeleteStepKeys();
    runList.RunAllSteps();

    const std::vector<ProbeRun> runs = ReadProbeRuns(m_record);
    // Wine now and then fails a CreateProcess that works when tried again (error 1359), and the
    // run passes over a step that cannot start: the record tells which one it was.
    ASSERT_EQ(3u, runs.size()) << ReadFileText(m_record);
    EXPECT_NE(std::string::npos, runs[0].commandLine.find("--sleep 300"));
    EXPECT_NE(std::string::npos, runs[1].commandLine.find("--exit 1"));
    EXPECT_NE(std::string::npos, runs[2].commandLine.find("--exit 3"));
    for (size_t i = 1; i < runs.size(); ++i) {
        ASSERT_NE(0u, runs[i - 1].end);
        EXPECT_GE(runs[i].start, runs[i - 1].end) << "step " << i << " started too early";
    }
    EXPECT_TRUE(SubkeyNames(ManifestKeyPath()).empty());
}

// Each run opens the step's process and its first thread; both must be closed again, whatever
// the step returned.
TEST_F(StepRunTest, ManyRunsLeaveNoHandleBehind)
{
    const UINT kRuns = 10;
    for (UINT i = 0; i <= kRuns; ++i) {
        char szName[8];
        snprintf(szName, sizeof szName, "%02u", i);
        WriteProbeStep(szName, i % 2 ? "--exit 3" : "");
    }
    runList.LoadManifest();
    ASSERT_EQ(kRuns + 1, runList.m_nSteps);
    // The first start may open what the platform keeps for the rest of the process.
    runList.m_steps[0]->Run();
    const DWORD dwBefore = ProcessHandleCount();
    ASSERT_NE(0u, dwBefore) << "the platform counts no handles";
    for (UINT i = 1; i <= kRuns; ++i)
        EXPECT_EQ(i % 2 ? 3u : 0u, runList.m_steps[i]->Run()) << "step " << i;
    const DWORD dwAfter = ProcessHandleCount();
    EXPECT_LE(dwAfter, dwBefore + kPlatformHandleSlack)
        << "expected at most " << dwBefore + kPlatformHandleSlack << " handles after " << kRuns
        << " runs, got " << dwAfter << " (" << dwBefore << " before)";
    EXPECT_EQ(kRuns + 1, ReadProbeRuns(m_record).size());
}
