#include <gtest/gtest.h>

#include "framework/CWinApp.h"
#include "manifest/CInstallStep.h"
#include "manifest/CRunList.h"
#include "manifest/InstallLocation.h"
#include "support/TestPaths.h"
#include "support/TestRegistry.h"
#include "support/TestWindows.h"

namespace {

// Loads one step subkey through the run list, as the program does.
class InstallStepTest : public RegistryTest {
protected:
    void TearDown() override
    {
        runList.FreeSteps();
        RegistryTest::TearDown();
    }

    const CInstallStep& LoadOnly(const char* pszType, const char* pszCommand,
                                 const char* pszParameters = NULL, const char* pszText = NULL,
                                 const char* pszTimeout = NULL)
    {
        WriteStep("only", pszType, pszCommand, pszParameters, pszText, pszTimeout);
        runList.LoadManifest();
        EXPECT_EQ(1u, runList.m_nSteps);
        static CInstallStep none("none");
        return runList.m_nSteps == 1 ? *runList.m_steps[0] : none;
    }

    CRunList runList;
};

} // namespace

TEST_F(InstallStepTest, CommandIsExpandedAndQuotedOnce)
{
    SetInstallLocation("C:\\Apps\\Tool");
    const CInstallStep& step = LoadOnly("executable", "%InstallDir%\\bin\\tool.exe");
    EXPECT_STREQ("\"C:\\Apps\\Tool\\bin\\tool.exe\"", step.GetCommand());
    EXPECT_FALSE(step.LacksInstallLocation());
}

TEST_F(InstallStepTest, QuotedCommandGetsASecondPair)
{
    SetInstallLocation("C:\\Apps\\Tool");
    const CInstallStep& step = LoadOnly("executable", "\"%InstallDir%\\tool.exe\"");
    EXPECT_STREQ("\"\"C:\\Apps\\Tool\\tool.exe\"\"", step.GetCommand());
}

TEST_F(InstallStepTest, TokensInOtherCaseOrWithoutClosingPercentStay)
{
    SetInstallLocation("C:\\Apps\\Tool");
    const CInstallStep& step = LoadOnly("executable", "%installdir%\\a.exe",
                                        "%INSTALLDIR% %InstallDir %QuillmereDir %Other%");
    EXPECT_STREQ("\"%installdir%\\a.exe\"", step.GetCommand());
    EXPECT_STREQ("%INSTALLDIR% %InstallDir %QuillmereDir %Other%", step.GetParameters());
}

TEST_F(InstallStepTest, ParametersAreExpandedButNotQuoted)
{
    SetInstallLocation("C:\\Apps\\Tool");
    const CInstallStep& step =
        LoadOnly("executable", "a.exe", "/dir=%InstallDir% /setup=%QuillmereDir%\\x");
    EXPECT_STREQ("/dir=C:\\Apps\\Tool /setup=C:\\Apps\\Tool\\Setup\\x", step.GetParameters());
}

TEST_F(InstallStepTest, LocationEndingInABackslashGivesTwoBeforeSetup)
{
    SetInstallLocation("C:\\Apps\\Tool\\");
    const CInstallStep& step = LoadOnly("executable", "%QuillmereDir%\\a.exe");
    EXPECT_STREQ("\"C:\\Apps\\Tool\\\\Setup\\a.exe\"", step.GetCommand());
    EXPECT_STREQ("C:\\Apps\\Tool\\\\Setup", step.GetWorkingDir());
}

TEST_F(InstallStepTest, SetupTokenInsideTheLocationIsReplacedToo)
{
    SetInstallLocation("C:\\X%QuillmereDir%");
    const CInstallStep& step = LoadOnly("executable", "%InstallDir%\\a.exe");
    // The second replacement runs over the first one's result, once, left to right.
    EXPECT_STREQ("\"C:\\XC:\\X%QuillmereDir%\\Setup\\a.exe\"", step.GetCommand());
}

TEST_F(InstallStepTest, TextIsShownAsWrittenWithoutExpansion)
{
    SetInstallLocation("C:\\Apps\\Tool");
    const CInstallStep& step = LoadOnly("executable", "a.exe", NULL, "Copying to %InstallDir%");
    EXPECT_STREQ("Copying to %InstallDir%", step.GetText());
}

TEST_F(InstallStepTest, TimeoutIsReadLikeAtol)
{
    SetInstallLocation("C:\\Apps\\Tool");
    WriteStep("1", "executable", "a.exe", NULL, NULL, "30");
    WriteStep("2", "executable", "a.exe", NULL, NULL, " -5a");
    WriteStep("3", "executable", "a.exe", NULL, NULL, "abc");
    WriteStep("4", "executable", "a.exe");
    runList.LoadManifest();
    ASSERT_EQ(4u, runList.m_nSteps);
    EXPECT_EQ(30, runList.m_steps[0]->GetTimeout());
    EXPECT_EQ(-5, runList.m_steps[1]->GetTimeout());
    EXPECT_EQ(0, runList.m_steps[2]->GetTimeout());
    EXPECT_EQ(0, runList.m_steps[3]->GetTimeout());
}

TEST_F(InstallStepTest, RegStepImportsTheExpandedFileSilentlyAndDropsItsParameters)
{
    SetInstallLocation("C:\\Apps\\Tool");
    const CInstallStep& step = LoadOnly("reg", "%QuillmereDir%\\fix.reg", "/ignored");
    EXPECT_STREQ("regedit.exe", step.GetCommand());
    EXPECT_STREQ("/s \"C:\\Apps\\Tool\\Setup\\fix.reg\"", step.GetParameters());
    EXPECT_STREQ("C:\\Apps\\Tool\\Setup", step.GetWorkingDir());
}

TEST_F(InstallStepTest, AbsentCommandLeavesItEmpty)
{
    SetInstallLocation("C:\\Apps\\Tool");
    const CInstallStep& exe = LoadOnly("executable", NULL, "-q", "Text");
    EXPECT_STREQ("", exe.GetCommand());
    EXPECT_STREQ("-q", exe.GetParameters());
    EXPECT_STREQ("Text", exe.GetText());
    EXPECT_STREQ("C:\\Apps\\Tool\\Setup", exe.GetWorkingDir());
    // The line handed to the platform still has the blank between command and parameters.
    EXPECT_STREQ(" -q", exe.ComposeCommandLine());
}

TEST_F(InstallStepTest, RegStepWithAbsentCommandImportsNothingNamed)
{
    SetInstallLocation("C:\\Apps\\Tool");
    const CInstallStep& step = LoadOnly("reg", NULL);
    EXPECT_STREQ("regedit.exe", step.GetCommand());
    EXPECT_STREQ("/s ", step.GetParameters());
}

// A step subkey outside the product's entry, so that the entry itself can be missing.
const char kScratchStepKey[] = "SOFTWARE\\FinishInstallTests\\step";

TEST_F(InstallStepTest, MissingProductKeyMarksTheStepAndLoadStillCompletes)
{
    SetStringValue(kScratchStepKey, "command", "%InstallDir%\\a.exe");
    SetStringValue(kScratchStepKey, "parameters", "%QuillmereDir%");
    SetStringValue(kScratchStepKey, "text", "Text");

    CInstallStep step("step");
    HKEY hKey;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, kScratchStepKey, 0, KEY_READ, &hKey));
    EXPECT_TRUE(step.Load(hKey));
    RegCloseKey(hKey);
    DeleteKeyTree("SOFTWARE\\FinishInstallTests");

    EXPECT_TRUE(step.LacksInstallLocation());
    EXPECT_STREQ("\"\\a.exe\"", step.GetCommand());
    EXPECT_STREQ("\\Setup", step.GetParameters());
    EXPECT_STREQ("\\Setup", step.GetWorkingDir());
    EXPECT_STREQ("Text", step.GetText());
}

// Without a location every step would run from "\Setup" at the root of the current drive, where
// anyone may put a program: the look-up answers none. It only reports: the window that must
// close is its owner's business.
TEST_F(InstallStepTest, AbsentEmptyOrOverlongLocationIsNoneAndLeavesTheWindowAlone)
{
    CWinApp app;
    CTestParent mainWnd;
    ASSERT_TRUE(mainWnd.Create("main", 200, 100));
    app.m_pMainWnd = &mainWnd;

    EXPECT_STREQ("", GetInstallLocation()) << "no product key";
    CreateKey(ProductKeyPath());
    EXPECT_STREQ("", GetInstallLocation()) << "absent";
    SetInstallLocation("");
    EXPECT_STREQ("", GetInstallLocation()) << "empty";
    SetInstallLocation("C:\\" + std::string(300, 'x'));
    EXPECT_STREQ("", GetInstallLocation()) << "300 characters";
    SetInstallLocation("C:\\" + std::string(256, 'x')); // 259 characters and the NUL: fits
    EXPECT_EQ(259, GetInstallLocation().GetLength());
    EXPECT_EQ(0, TakeCloseRequests(mainWnd));
    app.m_pMainWnd = NULL;
}

namespace {

std::string SystemFolder(UINT(WINAPI* pfnGetFolder)(LPSTR, UINT))
{
    char szDir[MAX_PATH] = "";
    pfnGetFolder(szDir, MAX_PATH);
    return szDir;
}

// Moves a file out of the way for the length of a test, or plants one in its place.
class CFileSwap {
public:
    explicit CFileSwap(const std::string& path) : m_path(path), m_aside(path + ".aside")
    {
        m_bMoved = MoveFileA(m_path.c_str(), m_aside.c_str()) != FALSE;
    }
    ~CFileSwap()
    {
        DeleteFileA(m_path.c_str());
        if (m_bMoved)
            MoveFileA(m_aside.c_str(), m_path.c_str());
    }

private:
    std::string m_path;
    std::string m_aside;
    bool m_bMoved;
};

} // namespace

// The editor is looked for where the platform's own search would find it, less this program's
// folder and the current directory: the system directory first, then the Windows folder.
TEST_F(InstallStepTest, RegStepNamesTheSystemDirectorysEditorFirstThenTheWindowsFolders)
{
    SetInstallLocation("C:\\Apps\\Tool");
    const std::string systemEditor = SystemFolder(GetSystemDirectoryA) + "\\regedit.exe";
    const std::string windowsEditor = SystemFolder(GetSystemWindowsDirectoryA) + "\\regedit.exe";
    CFileSwap swap(systemEditor);
    ASSERT_FALSE(FileExists(systemEditor));
    EXPECT_STREQ(windowsEditor.c_str(), LoadOnly("reg", "fix.reg").GetApplicationName());

    runList.FreeSteps();
    ASSERT_TRUE(CopyFileA(ProbePath().c_str(), systemEditor.c_str(), FALSE));
    EXPECT_STREQ(systemEditor.c_str(), LoadOnly("reg", "fix.reg").GetApplicationName());
}

// What the platform holds untouched: a 32-bit program on 64-bit Windows finds the 32-bit editor
// in the system directory (SysWOW64 behind the redirector), which imports into the 32-bit view
// the run list lives in; a 64-bit one finds no editor there and takes the Windows folder's.
TEST_F(InstallStepTest, RegStepStartsTheEditorOfItsOwnRegistryView)
{
    SetInstallLocation("C:\\Apps\\Tool");
    const CInstallStep& step = LoadOnly("reg", "fix.reg");
#ifdef _WIN64
    EXPECT_FALSE(FileExists(SystemFolder(GetSystemDirectoryA) + "\\regedit.exe"));
    EXPECT_STREQ((SystemFolder(GetSystemWindowsDirectoryA) + "\\regedit.exe").c_str(),
                 step.GetApplicationName());
#else
    EXPECT_STREQ((SystemFolder(GetSystemDirectoryA) + "\\regedit.exe").c_str(),
                 step.GetApplicationName());
#endif
    EXPECT_TRUE(FileExists(static_cast<const char*>(step.GetApplicationName())));
    EXPECT_STREQ("regedit.exe", step.GetCommand()) << "the child's first word";
}
