// The application manifest in the built program, read back as Windows reads it: resource type
// RT_MANIFEST, id 1.

#include <gtest/gtest.h>

#include <windows.h>

#include <ctype.h>

#include <string>
#include <vector>

#include "support/TestPaths.h"

namespace {

std::string ReadManifest(const std::string& program)
{
    HMODULE hModule = LoadLibraryExA(program.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (hModule == NULL)
        return std::string();
    std::string text;
    HRSRC hResource = FindResourceA(hModule, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    if (hResource != NULL) {
        const char* pData =
            static_cast<const char*>(LockResource(LoadResource(hModule, hResource)));
        if (pData != NULL)
            text.assign(pData, SizeofResource(hModule, hResource));
    }
    FreeLibrary(hModule);
    return text;
}

// Every element's start tag, in order, with its attributes as written.
std::vector<std::string> StartTags(const std::string& xml)
{
    std::vector<std::string> tags;
    for (size_t start = xml.find('<'); start != std::string::npos;
         start = xml.find('<', start + 1)) {
        const size_t end = xml.find('>', start);
        if (end == std::string::npos)
            break;
        const char next = xml[start + 1];
        if (next == '/' || next == '?' || next == '!')
            continue;
        std::string tag = xml.substr(start + 1, end - start - 1);
        if (!tag.empty() && tag.back() == '/')
            tag.pop_back();
        tags.push_back(tag);
    }
    return tags;
}

} // namespace

TEST(ApplicationManifest, AsksForAdministratorNamesWindows7To11Utf8AndGdiScalingAndNothingElse)
{
    const std::string manifest = ReadManifest(ProgramPath());
    ASSERT_FALSE(manifest.empty()) << "no manifest resource in " << ProgramPath();
    const std::vector<std::string> expected = {
        "assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\"",
        "trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\"",
        "security",
        "requestedPrivileges",
        "requestedExecutionLevel level=\"requireAdministrator\" uiAccess=\"false\"",
        "compatibility xmlns=\"urn:schemas-microsoft-com:compatibility.v1\"",
        "application",
        "supportedOS Id=\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"", // Windows 7
        "supportedOS Id=\"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}\"", // Windows 8
        "supportedOS Id=\"{1f676c76-80e1-4239-95bb-83d0f6d0da78}\"", // Windows 8.1
        "supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"", // Windows 10 and 11
        "application xmlns=\"urn:schemas-microsoft-com:asm.v3\"",
        "windowsSettings",
        "activeCodePage xmlns=\"http://schemas.microsoft.com/SMI/2019/WindowsSettings\"",
        "gdiScaling xmlns=\"http://schemas.microsoft.com/SMI/2017/WindowsSettings\"",
    };
    EXPECT_EQ(expected, StartTags(manifest)) << manifest;
    EXPECT_NE(std::string::npos, manifest.find(">UTF-8</activeCodePage>")) << manifest;
}

// Windows scales the text of a DPI-unaware program's GDI drawing only when the element is in the
// application's windowsSettings and says true; any DPI awareness setting would turn the scaling
// off and leave the fixed pixel layout to the program, which keeps it as it is.
TEST(ApplicationManifest, AsksForGdiScalingInWindowsSettingsAndStaysDpiUnaware)
{
    const std::string manifest = ReadManifest(ProgramPath());
    ASSERT_FALSE(manifest.empty()) << "no manifest resource in " << ProgramPath();
    const size_t settings = manifest.find("<windowsSettings>");
    const size_t settingsEnd = manifest.find("</windowsSettings>");
    ASSERT_NE(std::string::npos, settings) << manifest;
    ASSERT_NE(std::string::npos, settingsEnd) << manifest;
    const std::string element =
        "<gdiScaling xmlns=\"http://schemas.microsoft.com/SMI/2017/WindowsSettings\">true"
        "</gdiScaling>";
    const size_t scaling = manifest.find(element);
    ASSERT_NE(std::string::npos, scaling) << manifest;
    EXPECT_LT(settings, scaling) << manifest;
    EXPECT_LT(scaling, settingsEnd) << manifest;

    std::string lower = manifest;
    for (char& c : lower)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(std::string::npos, lower.find("dpiaware")) << manifest; // dpiAware, dpiAwareness
}
