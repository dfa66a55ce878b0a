#include <gtest/gtest.h>

#include <windows.h>

#include <psapi.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "manifest/CInstallStep.h"
#include "manifest/CRunList.h"
#include "support/TestRegistry.h"

namespace {

// Run lists no careful installer writes: values longer than the reads, without a terminating
// NUL, of other registry types, and more steps than the window holds.
class HostileRunListTest : public RegistryTest {
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

    CRunList runList;
};

bool IsTerminatedWithin(const char* pszBuffer, size_t cbBuffer)
{
    return memchr(pszBuffer, '\0', cbBuffer) != NULL;
}

} // namespace

TEST_F(HostileRunListTest, ValueThatFillsTheReadIsTakenWhole)
{
    SetStringValue(ManifestKeyPath(), "DisplayName", std::string(4094, 'n')); // 4095 bytes
    runList.LoadManifest();
    EXPECT_EQ(4094u, strlen(runList.m_szDisplayName));
}

TEST_F(HostileRunListTest, ValuesLongerThanTheReadAreNotTaken)
{
    SetStringValue(ManifestKeyPath(), "DisplayName", std::string(4095, 'n')); // 4096 bytes
    SetStringValue(ManifestKeyPath(), "DisplayIcon", std::string(100000, 'i'));
    SetStringValue(ManifestKeyPath(), "Title", std::string(100000, 't'));
    WriteStep("a", "executable", "ok.exe", "-q", "Text");
    SetStringValue(StepKeyPath("a"), "command", std::string(100000, 'c'));
    SetStringValue(StepKeyPath("a"), "text", std::string(4095, 'x'));

    runList.LoadManifest();

    EXPECT_STREQ("", runList.m_szDisplayName);
    EXPECT_STREQ("", runList.m_szDisplayIcon);
    EXPECT_FALSE(runList.HasTitle()) << "the window would keep its caption";
    ASSERT_EQ(1u, runList.m_nSteps);
    EXPECT_STREQ("", runList.m_steps[0]->GetCommand());
    EXPECT_STREQ("-q", runList.m_steps[0]->GetParameters());
    EXPECT_STREQ("", runList.m_steps[0]->GetText());
}

TEST_F(HostileRunListTest, ValuesWithoutATerminatingNulAreCutAtTheirEnd)
{
    SetRawValue(ManifestKeyPath(), "DisplayName", REG_SZ, "abc", 3);
    SetRawValue(ManifestKeyPath(), "DisplayIcon", REG_BINARY, std::string(4095, 'b').data(), 4095);
    WriteStep("a", "executable", "abcdefgh");
    // A shorter value read after a longer one must not show the longer one's tail.
    SetRawValue(StepKeyPath("a"), "parameters", REG_BINARY, "xy", 2);

    runList.LoadManifest();
    EXPECT_STREQ("abc", runList.m_szDisplayName);
    EXPECT_EQ(4094u, strlen(runList.m_szDisplayIcon));
    EXPECT_TRUE(IsTerminatedWithin(runList.m_szDisplayIcon, sizeof runList.m_szDisplayIcon));
    ASSERT_EQ(1u, runList.m_nSteps);
    EXPECT_STREQ("xy", runList.m_steps[0]->GetParameters());

    runList.WriteDisplayValues();
    EXPECT_EQ("abc", ReadStringValue(DisplayKeyPath(), "DisplayName"));
}

TEST_F(HostileRunListTest, OtherRegistryTypesAreReadAsTheirBytes)
{
    const DWORD dwName = 0x41424344; // "DCBA" in memory order
    SetRawValue(ManifestKeyPath(), "DisplayName", REG_DWORD, &dwName, sizeof dwName);
    SetRawValue(ManifestKeyPath(), "DisplayIcon", REG_MULTI_SZ, "first\0second\0", 14);
    WriteStep("a", NULL, "a.exe");
    SetRawValue(StepKeyPath("a"), "type", REG_BINARY, "reg", 3);
    WriteStep("b", NULL, "b.exe");
    const DWORD dwZero = 0;
    SetRawValue(StepKeyPath("b"), "type", REG_DWORD, &dwZero, sizeof dwZero);
    WriteStep("c", "executable", NULL);
    SetRawValue(StepKeyPath("c"), "command", REG_NONE, "", 0);

    runList.LoadManifest();
    runList.DeleteStepKeys();
    EXPECT_STREQ("DCBA", runList.m_szDisplayName);
    EXPECT_STREQ("first", runList.m_szDisplayIcon);
    ASSERT_EQ(2u, runList.m_nSteps);
    EXPECT_STREQ("a", runList.m_steps[0]->GetKeyName());
    EXPECT_STREQ("regedit.exe", runList.m_steps[0]->GetCommand());
    EXPECT_STREQ("c", runList.m_steps[1]->GetKeyName());
    EXPECT_STREQ("", runList.m_steps[1]->GetCommand());
    const std::vector<std::string> left = {"b"};
    EXPECT_EQ(left, SubkeyNames(ManifestKeyPath()));
}

namespace {

SIZE_T PrivateBytes()
{
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof counters);
    return counters.PrivateUsage;
}

} // namespace

// An install location full of tokens multiplies every token of a value: 341 tokens in a value
// and 18 in the location make over a million and a half characters per value.
TEST_F(HostileRunListTest, ExpansionBeyondAnyCommandLineKeepsNothingAndStartsNothing)
{
    std::string location;
    for (int i = 0; i < 18; ++i)
        location += "%QuillmereDir%";
    SetInstallLocation(location);
    std::string tokens;
    for (int i = 0; i < 341; ++i)
        tokens += "%InstallDir%";
    for (int i = 0; i < 40; ++i) {
        char szName[16];
        snprintf(szName, sizeof szName, "%02d", i);
        WriteStep(szName, i % 2 ? "reg" : "executable", tokens.c_str(), tokens.c_str());
    }

    const SIZE_T cbBefore = PrivateBytes();
    runList.LoadManifest();
    const SIZE_T cbAfter = PrivateBytes();
    ASSERT_EQ(40u, runList.m_nSteps);
    EXPECT_LT(cbAfter - std::min(cbAfter, cbBefore), static_cast<SIZE_T>(16 << 20))
        << "the expanded text was kept";
    for (UINT i = 0; i < runList.m_nSteps; ++i) {
        EXPECT_LE(runList.m_steps[i]->ComposeCommandLine().GetLength(), 65535);
        EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), runList.m_steps[i]->Run());
    }
}
