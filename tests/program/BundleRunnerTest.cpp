// The test bundle's runner, testbundle.exe, on the two machines where it must not run at all:
// one where it has no administrator rights, and one where the product is really installed.
// Either way it says why in one line, exits with 2 and leaves the machine as it was. Then the
// option that names another build of the program to test, as the runner and the test programs
// take it: a path where no program is stops the run before any case, rather than letting the
// cases test the bundle's own program unnoticed.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "support/ProgramRun.h"
#include "support/TestPaths.h"
#include "support/TestRegistry.h"

namespace {

const DWORD kRunnerLimitMs = 60000;
const DWORD kRefused = 2;

std::string RunnerPath()
{
    return TestBinaryDir() + "\\testbundle.exe";
}

// This process's own token with the Administrators group for denying only, as a member of the
// group holds it before elevation. NULL when the platform cannot make one.
HANDLE UnelevatedToken()
{
    HANDLE hToken = NULL;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ASSIGN_PRIMARY,
                          &hToken))
        return NULL;
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID pAdministrators = NULL;
    HANDLE hRestricted = NULL;
    if (AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                 DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &pAdministrators)) {
        SID_AND_ATTRIBUTES deny = {pAdministrators, 0};
        if (!CreateRestrictedToken(hToken, 0, 1, &deny, 0, NULL, 0, NULL, &hRestricted))
            hRestricted = NULL;
        FreeSid(pAdministrators);
    }
    CloseHandle(hToken);
    return hRestricted;
}

// The runner started with the token, its output in outputPath; its exit code, or -1 when it
// could not be started or did not end.
long RunAsUser(HANDLE hToken, const std::string& outputPath)
{
    SECURITY_ATTRIBUTES sa = {sizeof sa, NULL, TRUE};
    HANDLE hOutput =
        CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hOutput == INVALID_HANDLE_VALUE)
        return -1;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = hOutput;
    si.hStdError = hOutput;
    std::string commandLine = "\"" + RunnerPath() + "\"";
    PROCESS_INFORMATION pi = {};
    const BOOL bCreated = CreateProcessAsUserA(hToken, RunnerPath().c_str(), &commandLine[0], NULL,
                                               NULL, TRUE, CREATE_NO_WINDOW, NULL, NULL, &si, &pi);
    CloseHandle(hOutput);
    if (!bCreated)
        return -1;
    DWORD dwExitCode = 0;
    const bool bEnded = WaitForSingleObject(pi.hProcess, kRunnerLimitMs) == WAIT_OBJECT_0;
    if (!bEnded)
        TerminateProcess(pi.hProcess, 1);
    GetExitCodeProcess(pi.hProcess, &dwExitCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return bEnded ? static_cast<long>(dwExitCode) : -1;
}

size_t LineCount(const std::string& text)
{
    size_t nLines = 0;
    for (char ch : text)
        nLines += ch == '\n' ? 1 : 0;
    return nLines;
}

class BundleRunnerTest : public RegistryTest {
protected:
    void SetUp() override
    {
        RegistryTest::SetUp();
        m_dir = MakeScratchDir("runner");
    }
    void TearDown() override
    {
        RemoveScratchDir(m_dir);
        RegistryTest::TearDown();
    }

    std::string m_dir;
};

} // namespace

TEST_F(BundleRunnerTest, WithoutAdministratorRightsItSaysSoInOneLineAndRunsNothing)
{
    HANDLE hToken = UnelevatedToken();
    ASSERT_NE(nullptr, hToken) << "no restricted token, error " << GetLastError();
    const std::string output = m_dir + "\\unelevated.txt";
    const long nExitCode = RunAsUser(hToken, output);
    CloseHandle(hToken);

    const std::string text = ReadFileText(output);
    EXPECT_EQ(static_cast<long>(kRefused), nExitCode) << text;
    EXPECT_EQ(1u, LineCount(text)) << text;
    EXPECT_NE(std::string::npos, text.find("must run elevated")) << text;
}

TEST_F(BundleRunnerTest, WhereTheProductIsInstalledItRefusesAndLeavesItsKeysAsTheyAre)
{
    SetInstallLocation("C:\\Apps\\Tool");
    WriteStep("01", "executable", "%InstallDir%\\tool.exe", "-q", "Installing");
    SetStringValue(DisplayKeyPath(), "DisplayName", "Tool");
    const RegistrySnapshot product = SnapshotTree(ProductKeyPath());
    const RegistrySnapshot display = SnapshotTree(DisplayKeyPath());

    const CapturedRun run = RunCapturingOutput(RunnerPath(), "test_framework", m_dir.c_str(),
                                               m_dir + "\\installed.txt", kRunnerLimitMs);
    ASSERT_TRUE(run.bStarted);
    EXPECT_FALSE(run.bHung);
    EXPECT_EQ(kRefused, run.dwExitCode) << run.output;
    EXPECT_EQ(1u, LineCount(run.output)) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("the product is installed on this machine"))
        << run.output;
    EXPECT_EQ(product, SnapshotTree(ProductKeyPath())) << "the product's entry changed";
    EXPECT_EQ(display, SnapshotTree(DisplayKeyPath())) << "the installer's entry changed";
}

TEST_F(BundleRunnerTest, AProgramOptionNamingNoFileIsRefusedInOneLineBeforeAnyCase)
{
    const std::string absent = m_dir + "\\absent\\FinishInstall.exe";
    const CapturedRun run =
        RunCapturingOutput(RunnerPath(), "\"--program=" + absent + "\" test_framework",
                           m_dir.c_str(), m_dir + "\\runner.txt", kRunnerLimitMs);
    ASSERT_TRUE(run.bStarted);
    EXPECT_FALSE(run.bHung);
    EXPECT_EQ(kRefused, run.dwExitCode) << run.output;
    EXPECT_EQ(1u, LineCount(run.output)) << run.output;
    EXPECT_NE(std::string::npos, run.output.find(absent)) << run.output;
}

TEST_F(BundleRunnerTest, ATestProgramRefusesAProgramOptionNamingAFolder)
{
    char szSelf[MAX_PATH];
    ASSERT_NE(0u, GetModuleFileNameA(NULL, szSelf, MAX_PATH));
    const CapturedRun run =
        RunCapturingOutput(szSelf, "\"--program=" + m_dir + "\" --gtest_list_tests", m_dir.c_str(),
                           m_dir + "\\self.txt", kRunnerLimitMs);
    ASSERT_TRUE(run.bStarted);
    EXPECT_FALSE(run.bHung);
    EXPECT_EQ(kRefused, run.dwExitCode) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("--program: no program")) << run.output;
    // Refused before GoogleTest lists a single case.
    EXPECT_EQ(std::string::npos, run.output.find("BundleRunnerTest.")) << run.output;
}
