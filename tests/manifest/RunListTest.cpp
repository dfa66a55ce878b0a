#include <gtest/gtest.h>

#include <stdio.h>

#include "manifest/CInstallStep.h"
#include "manifest/CRunList.h"
#include "support/InstallerNames.h"
#include "support/GuardHolder.h"
#include "support/TestRegistry.h"

namespace {

// The run list as an installer leaves it, with the product's entry and the display key.
class RunListTest : public RegistryTest {
protected:
    void SetUp() override
    {
        RegistryTest::SetUp();
        SetInstallLocation("C:\\Apps\\Tool");
        CreateKey(ManifestKeyPath());
        CreateKey(DisplayKeyPath());
    }

    void TearDown() override
    {
        runList.FreeSteps();
        RegistryTest::TearDown();
    }

    void LoadAndConsume()
    {
        runList.LoadManifest();
        runList.WriteDisplayValues();
        runList.DeleteStepKeys();
    }

    std::vector<std::string> LoadedKeyNames() const
    {
        std::vector<std::string> names;
        for (UINT i = 0; i < runList.m_nSteps; ++i)
            names.push_back(static_cast<const char*>(runList.m_steps[i]->GetKeyName()));
        return names;
    }

    CRunList runList;
};

} // namespace

TEST_F(RunListTest, OnlyRecognisedTypesBecomeStepsAndOnlyTheyAreDeleted)
{
    SetStringValue(ManifestKeyPath(), "Title", "Finishing");
    SetStringValue(ManifestKeyPath(), "DisplayName", "Tool");
    SetStringValue(ManifestKeyPath(), "DisplayIcon", "tool.ico");
    const char* types[12] = {"executable", "reg", "Executable", "executable",
                             "reg",        NULL,  "executable", "reg",
                             "install",    "reg", "executable", "executable"};
    std::vector<std::string> expected;
    for (int i = 0; i < 12; ++i) {
        char szName[16];
        snprintf(szName, sizeof szName, "step%02d", i);
        WriteStep(szName, types[i], "x.exe");
        if (i != 2 && i != 5 && i != 8)
            expected.push_back(szName);
    }

    LoadAndConsume();

    EXPECT_EQ(expected, LoadedKeyNames());
    const std::vector<std::string> left = {"step02", "step05", "step08"};
    EXPECT_EQ(left, SubkeyNames(ManifestKeyPath()));
    EXPECT_EQ("Finishing", ReadStringValue(ManifestKeyPath(), "Title"));
    EXPECT_EQ("Tool", ReadStringValue(ManifestKeyPath(), "DisplayName"));
    EXPECT_EQ("tool.ico", ReadStringValue(ManifestKeyPath(), "DisplayIcon"));
}

TEST_F(RunListTest, EmptyCommandStillMakesAStepThatIsDeleted)
{
    WriteStep("empty", "executable", "", "-q", "Text");
    LoadAndConsume();
    ASSERT_EQ(1u, runList.m_nSteps);
    EXPECT_STREQ("", runList.m_steps[0]->GetCommand());
    EXPECT_STREQ("", runList.m_steps[0]->GetParameters());
    EXPECT_STREQ("", runList.m_steps[0]->GetText());
    EXPECT_FALSE(KeyExists(StepKeyPath("empty")));
}

TEST_F(RunListTest, SecondStartFindsNoStepsAndWritesTheDisplayValuesAgain)
{
    SetStringValue(ManifestKeyPath(), "DisplayName", "Tool");
    WriteStep("a", "executable", "x.exe");
    LoadAndConsume();
    ASSERT_EQ(1u, runList.m_nSteps);
    runList.FreeSteps();

    SetStringValue(DisplayKeyPath(), "DisplayName", "changed by someone");
    CRunList second;
    second.LoadManifest();
    second.WriteDisplayValues();
    second.DeleteStepKeys();
    EXPECT_EQ(0u, second.m_nSteps);
    EXPECT_EQ("Tool", ReadStringValue(DisplayKeyPath(), "DisplayName"));
    EXPECT_TRUE(KeyExists(ManifestKeyPath()));
}

TEST_F(RunListTest, EmptyOrAbsentDisplayValuesLeaveTheDisplayKeyAsItWas)
{
    SetStringValue(DisplayKeyPath(), "DisplayName", "installer's name");
    SetStringValue(DisplayKeyPath(), "DisplayIcon", "installer's icon");
    SetStringValue(ManifestKeyPath(), "DisplayName", "");
    LoadAndConsume();
    EXPECT_EQ("installer's name", ReadStringValue(DisplayKeyPath(), "DisplayName"));
    EXPECT_EQ("installer's icon", ReadStringValue(DisplayKeyPath(), "DisplayIcon"));
}

TEST_F(RunListTest, ExpandableDisplayIconIsWrittenAsPlainTextUnexpanded)
{
    SetStringValue(ManifestKeyPath(), "DisplayIcon", "%ProgramFiles%\\Tool\\tool.exe",
                   REG_EXPAND_SZ);
    LoadAndConsume();
    std::string data;
    DWORD dwType = 0;
    ASSERT_TRUE(ReadRawValue(DisplayKeyPath(), "DisplayIcon", &data, &dwType));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), dwType);
    EXPECT_EQ(std::string("%ProgramFiles%\\Tool\\tool.exe", 28) + '\0', data);
}

TEST_F(RunListTest, MissingDisplayKeyIsNotCreatedAndChangesNothingElse)
{
    DeleteKeyTree(DisplayKeyPath());
    SetStringValue(ManifestKeyPath(), "DisplayName", "Tool");
    WriteStep("a", "executable", "x.exe");
    LoadAndConsume();
    EXPECT_FALSE(KeyExists(DisplayKeyPath()));
    EXPECT_EQ(1u, runList.m_nSteps);
    EXPECT_FALSE(KeyExists(StepKeyPath("a")));
}

TEST_F(RunListTest, TitleIsReportedWhenReadableEvenWhenEmpty)
{
    runList.LoadManifest();
    EXPECT_FALSE(runList.HasTitle()) << "absent";

    SetStringValue(ManifestKeyPath(), "Title", "Finishing Tool");
    runList.LoadManifest();
    EXPECT_TRUE(runList.HasTitle());
    EXPECT_STREQ("Finishing Tool", runList.GetTitle());

    SetStringValue(ManifestKeyPath(), "Title", "");
    runList.LoadManifest();
    EXPECT_TRUE(runList.HasTitle()) << "an empty title is a title";
    EXPECT_STREQ("", runList.GetTitle());
    EXPECT_TRUE(runList.IsUsable());
}

TEST_F(RunListTest, MissingManifestKeyIsReportedAndLoadsNothing)
{
    DeleteKeyTree(ManifestKeyPath());

    runList.LoadManifest();
    EXPECT_TRUE(runList.CouldNotBeOpened());
    EXPECT_FALSE(runList.IsUsable());
    EXPECT_FALSE(runList.HasTitle());
    EXPECT_EQ(0u, runList.m_nSteps);
    EXPECT_STREQ("", runList.m_szDisplayName);

    runList.WriteDisplayValues();
    EXPECT_EQ("<absent>", ReadStringValue(DisplayKeyPath(), "DisplayName"));
    runList.DeleteStepKeys();
    EXPECT_FALSE(runList.IsUsable());
}

TEST_F(RunListTest, ManifestKeyGoneBeforeDeletingIsReported)
{
    WriteStep("a", "executable", "x.exe");
    runList.LoadManifest();
    ASSERT_TRUE(runList.IsUsable());
    DeleteKeyTree(ManifestKeyPath());
    runList.DeleteStepKeys();
    EXPECT_TRUE(runList.CouldNotBeOpened());
    EXPECT_FALSE(runList.IsUsable());
}

// Every step would run from "\Setup" at the root of the current drive: the list must not run,
// yet it is consumed as any other.
TEST_F(RunListTest, StepFindingNoInstallLocationMakesTheListUnusableButConsumed)
{
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, ProductKeyPath().c_str(), "InstallLocation");
    SetStringValue(ManifestKeyPath(), "DisplayName", "Tool");
    WriteStep("a", "executable", "x.exe");
    WriteStep("b", "reg", "%InstallDir%\\x.reg");

    LoadAndConsume();

    ASSERT_EQ(2u, runList.m_nSteps);
    EXPECT_TRUE(runList.m_steps[0]->LacksInstallLocation());
    EXPECT_TRUE(runList.LacksInstallLocation());
    EXPECT_FALSE(runList.CouldNotBeOpened());
    EXPECT_FALSE(runList.IsUsable());
    EXPECT_TRUE(SubkeyNames(ManifestKeyPath()).empty());
    EXPECT_EQ("Tool", ReadStringValue(DisplayKeyPath(), "DisplayName"));

    // A later load that finds a location again reports the list usable.
    runList.FreeSteps();
    SetInstallLocation("C:\\Apps\\Tool");
    WriteStep("c", "executable", "x.exe");
    runList.LoadManifest();
    EXPECT_TRUE(runList.IsUsable());
}

// A step whose "command" is present and empty stops loading before it looks for the location.
TEST_F(RunListTest, StepThatNeverLooksForTheLocationKeepsTheListUsable)
{
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, ProductKeyPath().c_str(), "InstallLocation");
    WriteStep("a", "executable", "", "%InstallDir%");
    runList.LoadManifest();
    ASSERT_EQ(1u, runList.m_nSteps);
    EXPECT_FALSE(runList.LacksInstallLocation());
    EXPECT_TRUE(runList.IsUsable());
}

TEST_F(RunListTest, LoadingStopsAtTheCapacityAndLeavesTheRestForLater)
{
    for (int i = 0; i < 600; ++i) {
        char szName[16];
        snprintf(szName, sizeof szName, "s%04d", i);
        WriteStep(szName, "executable", "x.exe");
    }
    LoadAndConsume();
    ASSERT_EQ(installer::kMostStepsPerStart, runList.m_nSteps);
    EXPECT_STREQ("s0596", runList.m_steps[596]->GetKeyName());
    const std::vector<std::string> left = {"s0597", "s0598", "s0599"};
    EXPECT_EQ(left, SubkeyNames(ManifestKeyPath()));
}

// A start that died holding the guard leaves it abandoned: taken, and the list loaded. One that
// holds it beyond the wait keeps the list: this start loads nothing and touches nothing.
TEST_F(RunListTest, GuardAbandonedIsTakenAndGuardHeldLeavesTheList)
{
    for (const bool bAbandon : {true, false}) {
        WriteStep("a", "executable", "a.exe");
        CGuardHolder holder(bAbandon ? 0u : 6000u, bAbandon);
        ASSERT_TRUE(holder.Taken());
        if (bAbandon)
            holder.WaitForThread();
        LoadAndConsume();
        EXPECT_EQ(bAbandon ? 1u : 0u, runList.m_nSteps) << (bAbandon ? "abandoned" : "held");
        EXPECT_EQ(!bAbandon, runList.CouldNotBeOpened());
        EXPECT_EQ(!bAbandon, runList.IsLeftToAnotherStart());
        EXPECT_EQ(bAbandon, SubkeyNames(ManifestKeyPath()).empty());
        runList.FreeSteps();
    }
}

// Any process may make a mutex under a global name, and hold it: where the system has private
// namespaces, the guard is in one that only administrators open, and such a squatter stops
// nothing. Another start's guard still does.
TEST(RunListGuard, LivesInAnAdministratorsNamespaceWhereASquatterOfTheGlobalNameStopsNothing)
{
    const std::string whyNot = WhyNoPrivateNamespaces();
    if (!whyNot.empty())
        GTEST_SKIP() << "no private namespaces on this system: " << whyNot;
    const HANDLE hSquatter = CreateMutexA(NULL, TRUE, kRunListGuardName);
    ASSERT_NE(nullptr, hSquatter) << GetLastError();
    {
        CRunListGuard guard;
        EXPECT_TRUE(guard.Take(100)) << "the squatter's mutex kept the guard";
        EXPECT_TRUE(guard.IsPrivate());
        CGuardHolder holder(0, false); // tries while this thread holds the guard
        EXPECT_FALSE(holder.Taken()) << "a second guard was taken while the first was held";
    }
    ReleaseMutex(hSquatter);
    CloseHandle(hSquatter);
}
