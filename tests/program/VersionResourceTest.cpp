// The built program's version resource, read back the way an installer engine reads it when it
// decides whether to replace an installed copy.

#include <gtest/gtest.h>

#include <windows.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "support/TestPaths.h"

namespace {

// The version project() in CMakeLists.txt gives, passed in by the build as text.
const char kProjectVersion[] = FINISHINSTALL_VERSION;
const WORD kLanguageNeutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);
const WORD kCodePageWindowsLatin1 = 1252;
const char kStringTable[] = "\\StringFileInfo\\000004E4\\";

struct FourPartVersion {
    DWORD dwMS = 0; // major << 16 | minor, as VS_FIXEDFILEINFO keeps it
    DWORD dwLS = 0; // patch << 16 | tweak
};

// "1.2.3" or "1.2.3.4" as the resource's numbers; a missing tweak counts as 0.
FourPartVersion ParseVersion(const char* pszText)
{
    unsigned major = 0, minor = 0, patch = 0, tweak = 0;
    const int parts = sscanf(pszText, "%u.%u.%u.%u", &major, &minor, &patch, &tweak);
    EXPECT_GE(parts, 3) << "the project version \"" << pszText << "\" is not x.y.z";
    FourPartVersion version;
    version.dwMS = MAKELONG(minor, major);
    version.dwLS = MAKELONG(tweak, patch);
    return version;
}

class VersionResource : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string path = ProgramPath();
        DWORD dwIgnored = 0;
        const DWORD cb = GetFileVersionInfoSizeA(path.c_str(), &dwIgnored);
        ASSERT_NE(0u, cb) << "no version resource in " << path << ", error " << GetLastError();
        m_block.resize(cb);
        ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, cb, m_block.data()))
            << "error " << GetLastError();
    }

    // A value of the language-neutral, code page 1252 string table; false when it has none.
    bool QueryString(const char* pszName, std::string* pValue)
    {
        const std::string subBlock = std::string(kStringTable) + pszName;
        char* pszValue = NULL;
        UINT cch = 0;
        if (!VerQueryValueA(m_block.data(), subBlock.c_str(), reinterpret_cast<void**>(&pszValue),
                            &cch) ||
            pszValue == NULL)
            return false;
        *pValue = pszValue;
        return true;
    }

    std::vector<char> m_block;
};

TEST_F(VersionResource, FixedVersionsAreTheProjectVersion)
{
    VS_FIXEDFILEINFO* pInfo = NULL;
    UINT cb = 0;
    ASSERT_TRUE(VerQueryValueA(m_block.data(), "\\", reinterpret_cast<void**>(&pInfo), &cb));
    ASSERT_GE(cb, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(0xFEEF04BDu, pInfo->dwSignature);

    const FourPartVersion expected = ParseVersion(kProjectVersion);
    EXPECT_EQ(expected.dwMS, pInfo->dwFileVersionMS) << "project version " << kProjectVersion;
    EXPECT_EQ(expected.dwLS, pInfo->dwFileVersionLS) << "project version " << kProjectVersion;
    EXPECT_EQ(expected.dwMS, pInfo->dwProductVersionMS) << "project version " << kProjectVersion;
    EXPECT_EQ(expected.dwLS, pInfo->dwProductVersionLS) << "project version " << kProjectVersion;
    // Installers treat a file marked as a debug or pre-release build with suspicion.
    EXPECT_EQ(0u, pInfo->dwFileFlags & pInfo->dwFileFlagsMask);
    EXPECT_EQ(static_cast<DWORD>(VFT_APP), pInfo->dwFileType);
}

TEST_F(VersionResource, VersionStringsAreTheProjectVersion)
{
    std::string fileVersion, productVersion;
    ASSERT_TRUE(QueryString("FileVersion", &fileVersion));
    ASSERT_TRUE(QueryString("ProductVersion", &productVersion));
    EXPECT_EQ(kProjectVersion, fileVersion);
    EXPECT_EQ(kProjectVersion, productVersion);
}

TEST_F(VersionResource, NamesTheShippedFileAndDescribesIt)
{
    std::string originalName;
    ASSERT_TRUE(QueryString("OriginalFilename", &originalName));
    EXPECT_EQ("FinishInstall.exe", originalName);

    // What Explorer's properties and an installer's file list show: present and not empty.
    const char* const describing[] = {"FileDescription", "InternalName", "LegalCopyright",
                                      "ProductName"};
    for (const char* pszName : describing) {
        std::string value;
        EXPECT_TRUE(QueryString(pszName, &value)) << pszName << " is missing";
        EXPECT_FALSE(value.empty()) << pszName << " is empty";
    }
}

TEST_F(VersionResource, HasOneTranslationLanguageNeutralInCodePage1252)
{
    WORD* pTranslation = NULL;
    UINT cb = 0;
    ASSERT_TRUE(VerQueryValueA(m_block.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&pTranslation), &cb));
    ASSERT_EQ(2 * sizeof(WORD), cb) << "expected one language and code page pair";
    EXPECT_EQ(kLanguageNeutral, pTranslation[0]);
    EXPECT_EQ(kCodePageWindowsLatin1, pTranslation[1]);
}

} // namespace
