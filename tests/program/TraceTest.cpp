// The program's trace on the debug output, read by the test acting as its debugger.

#include <gtest/gtest.h>

#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include <objbase.h>
#include <oleacc.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "support/Figures.h"
#include "support/GuardHolder.h"
#include "support/InstalledProduct.h"
#include "support/ProgramRun.h"
#include "support/TestPaths.h"
#include "support/TestRegistry.h"
#include "support/Watchdog.h"

namespace {

const DWORD kEndsByItselfMs = 30000;
const char kPrefix[] = "FinishInstall: ";

class TraceTest : public InstalledProductTest {
protected:
    // A good step, a missing program, a type in the wrong case and a non-zero exit code.
    void WriteMixedRunList()
    {
        ResetProgramKeys();
        DeleteFileA(m_record.c_str());
        SetStringValue(ManifestKeyPath(), "DisplayName", "Tool");
        WriteProbeStep("1-good", "", "Good");
        WriteStep("2-missing", "executable", "%InstallDir%\\missing.exe", "-q", "Missing");
        WriteStep("3-wrongcase", "Executable", ProbePath().c_str(), NULL, "Wrong case");
        WriteProbeStep("4-three", "--exit 3", "Three");
    }

    // Runs the program under the debugger; every line it wrote, the prefix checked and taken off.
    // onLine, where given, sees each line as it comes, while the program runs.
    // dwLimitMs bounds the run: a hang is reported, not waited out.
    std::vector<std::string> RunTraced(
        DWORD* pdwExitCode = NULL, const char* pszDir = NULL,
        const std::function<void(const std::string&)>& onLine = [](const std::string&) {},
        DWORD dwLimitMs = kEndsByItselfMs)
    {
        CProgramRun run(ProgramPath(), pszDir, CProgramRun::kUnderDebugger);
        EXPECT_TRUE(run.Started());
        std::vector<std::string> raw, lines;
        EXPECT_TRUE(run.CollectDebugOutput(dwLimitMs, &raw, onLine)) << "the program did not end";
        if (pdwExitCode != NULL) {
            EXPECT_TRUE(run.WaitForEnd(0, pdwExitCode));
        }
        for (const std::string& line : raw) {
            if (line.compare(0, sizeof kPrefix - 1, kPrefix) != 0)
                continue; // the platform's own debug output
            EXPECT_EQ('\n', line.back()) << line;
            lines.push_back(line.substr(sizeof kPrefix - 1, line.size() - sizeof kPrefix));
        }
        return lines;
    }

    // What a run did: its trace, the product's and the display key's trees and its steps' starts.
    struct RunOutcome {
        std::vector<std::string> lines;
        RegistrySnapshot product, display;
        std::vector<std::string> steps;
    };

    // A step that runs and one passed over, with the trace file's value (NULL: none), run from
    // the install location, where a path the program took as relative would land. The value
    // is taken away again before the registry is looked at.
    RunOutcome RunWithTraceFile(const char* pszTraceFile)
    {
        ResetProgramKeys();
        DeleteFileA(m_record.c_str());
        SetStringValue(ManifestKeyPath(), "DisplayName", "Tool");
        WriteProbeStep("1-good", "", "Good");
        WriteStep("2-wrongcase", "Executable", ProbePath().c_str(), NULL, "Wrong case");
        if (pszTraceFile != NULL)
            SetStringValue(ManifestKeyPath(), "TraceFile", pszTraceFile);
        RunOutcome outcome;
        outcome.lines = RunTraced(NULL, m_dir.c_str());
        RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, ManifestKeyPath().c_str(), "TraceFile");
        outcome.product = SnapshotTree(ProductKeyPath());
        outcome.display = SnapshotTree(DisplayKeyPath());
        for (const ProbeRun& run : ProbeRuns())
            outcome.steps.push_back(run.commandLine + "|" + run.currentDir);
        return outcome;
    }
};

// Local time as the trace file writes it, which sorts as text.
std::string LocalTimeStamp()
{
    SYSTEMTIME st;
    GetLocalTime(&st);
    char szStamp[32];
    snprintf(szStamp, sizeof szStamp, "%04d-%02d-%02d %02d:%02d:%02d.%03d", st.wYear, st.wMonth,
             st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
    return szStamp;
}

bool IsTimeStamp(const std::string& text)
{
    const std::string form = "0000-00-00 00:00:00.000";
    if (text.size() != form.size())
        return false;
    for (size_t i = 0; i < form.size(); ++i) {
        if (form[i] == '0' ? !isdigit(static_cast<unsigned char>(text[i])) : text[i] != form[i])
            return false;
    }
    return true;
}

// One run's part of a trace file, between two local times: a first line with the version, then
// after each time stamp exactly the lines of the debug output, in order.
void ExpectRunInFile(const std::string& text, const std::vector<std::string>& lines,
                     const std::string& from, const std::string& to)
{
    std::vector<std::string> fileLines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::string line = text.substr(start, end - start);
        const std::string stamp = line.substr(0, from.size());
        ASSERT_TRUE(IsTimeStamp(stamp) && line.compare(from.size(), 1, " ") == 0) << line;
        EXPECT_TRUE(from <= stamp && stamp <= to)
            << stamp << " is not between " << from << " and " << to;
        ASSERT_EQ(kPrefix, line.substr(from.size() + 1, sizeof kPrefix - 1)) << line;
        fileLines.push_back(line.substr(from.size() + sizeof kPrefix));
    }
    EXPECT_EQ(text.size(), start) << "not a whole line at the end: " << text.substr(start);
    ASSERT_GE(fileLines.size(), 2u) << text;
    EXPECT_EQ(0u, fileLines[0].find("FinishInstall " FINISHINSTALL_VERSION ", process id "))
        << fileLines[0];
    EXPECT_EQ(0u, fileLines[1].find("run list guard ")) << fileLines[1];
    EXPECT_EQ(lines, std::vector<std::string>(fileLines.begin() + 1, fileLines.end()));
}

// Every file and folder under a folder, by its path below it.
std::vector<std::string> FilesUnder(const std::string& dir, const std::string& below = "")
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA((dir + "\\" + below + "*").c_str(), &fd);
    if (hFind == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::string name = fd.cFileName;
        if (name == "." || name == "..")
            continue;
        names.push_back(below + name);
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            for (const std::string& inner : FilesUnder(dir, below + name + "\\"))
                names.push_back(inner);
        }
    } while (FindNextFileA(hFind, &fd));
    FindClose(hFind);
    std::sort(names.begin(), names.end());
    return names;
}

bool HasLine(const std::vector<std::string>& lines, const std::string& wanted)
{
    for (const std::string& line : lines) {
        if (line == wanted)
            return true;
    }
    return false;
}

bool HasLineStarting(const std::vector<std::string>& lines, const std::string& start)
{
    for (const std::string& line : lines) {
        if (line.compare(0, start.size(), start) == 0)
            return true;
    }
    return false;
}

// What the system's annotation service answers this process when asked to mark a line of its
// own a polite live region, as the program asks for each of its lines: S_OK, or why not.
HRESULT AnnotationServiceAnswer()
{
    const CLSID clsidAccPropServices = {
        0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
    const IID iidAccPropServices = {
        0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};
    const GUID liveSettingProperty = {
        0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};
    const HRESULT hrApartment = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    IAccPropServices* pServices = NULL;
    HRESULT hr = CoCreateInstance(clsidAccPropServices, NULL, CLSCTX_INPROC_SERVER,
                                  iidAccPropServices, reinterpret_cast<void**>(&pServices));
    if (SUCCEEDED(hr)) {
        HWND hLine =
            CreateWindowExA(0, "STATIC", "line", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
        VARIANT value;
        memset(&value, 0, sizeof value);
        V_VT(&value) = VT_I4;
        V_I4(&value) = 1; // Polite
        hr = pServices->SetHwndProp(hLine, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                    liveSettingProperty, value);
        if (SUCCEEDED(hr))
            pServices->ClearHwndProps(hLine, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                      &liveSettingProperty, 1);
        DestroyWindow(hLine);
        pServices->Release();
    }
    if (SUCCEEDED(hrApartment))
        CoUninitialize();
    return hr;
}

std::string Joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

} // namespace

TEST_F(TraceTest, NamesEveryDecisionOfARun)
{
    WriteMixedRunList();
    const std::vector<std::string> lines = RunTraced();
    const std::string probe = "\"" + ProbePath() + "\"";
    const std::string all = Joined(lines);

    EXPECT_TRUE(HasLineStarting(lines, "run list guard " + GuardNameHere() + " taken after "))
        << all;
    EXPECT_TRUE(HasLine(lines, "run list HKLM\\" + ManifestKeyPath() + " opened")) << all;
    EXPECT_TRUE(HasLine(lines, "Title not read (error 2)")) << all;
    EXPECT_TRUE(HasLine(lines, "DisplayName \"Tool\"")) << all;
    EXPECT_TRUE(HasLine(lines, "subkey \"1-good\" is step 0, of type executable")) << all;
    EXPECT_TRUE(HasLine(lines, "subkey \"3-wrongcase\" passed over: type \"Executable\" not "
                               "recognised"))
        << all;
    EXPECT_TRUE(HasLine(lines, "subkey \"4-three\" is step 2, of type executable")) << all;
    EXPECT_TRUE(HasLine(lines, "install location \"" + m_dir + "\"")) << all;
    EXPECT_TRUE(HasLine(lines, "DisplayName written to the display key")) << all;
    EXPECT_TRUE(HasLine(lines, "DisplayIcon empty: not written")) << all;
    EXPECT_TRUE(HasLine(lines, "subkey \"1-good\" deleted")) << all;
    EXPECT_TRUE(HasLine(lines, "run list guard released")) << all;

    EXPECT_TRUE(
        HasLine(lines, "step \"1-good\" command line: " + probe + " " + ProbeArguments(m_record)))
        << all;
    EXPECT_TRUE(HasLine(lines, "step \"1-good\" working directory: " + m_setupDir)) << all;
    EXPECT_TRUE(HasLineStarting(lines, "step \"1-good\" launched, process id ")) << all;
    EXPECT_TRUE(HasLine(lines, "step \"1-good\" ended with exit code 0 after 1 s")) << all;
    EXPECT_TRUE(HasLineStarting(lines, "step \"2-missing\" not launched: error 2 (")) << all;
    EXPECT_TRUE(HasLine(lines, "step \"4-three\" ended with exit code 3 after 1 s")) << all;
    EXPECT_TRUE(HasLine(lines, "all 3 steps run: the window closes")) << all;

    // Three lines are made; a service that refuses them is named once, one that marks them not.
    const HRESULT hrService = AnnotationServiceAnswer();
    char szError[16];
    snprintf(szError, sizeof szError, "0x%08lX", static_cast<unsigned long>(hrService));
    std::vector<std::string> unmarked;
    for (const std::string& line : lines) {
        if (line.find("live regions") != std::string::npos)
            unmarked.push_back(line);
    }
    if (SUCCEEDED(hrService)) {
        ClaimFigure("the annotation service marked the lines live regions, and the trace "
                    "said nothing of it");
        EXPECT_TRUE(unmarked.empty()) << all;
    } else {
        ClaimFigure(std::string("the annotation service answered ") + szError +
                    " to SetHwndProp, and the trace said so once for the three lines");
        ASSERT_EQ(1u, unmarked.size()) << "the service answered " << szError << "\n" << all;
        EXPECT_EQ(0u, unmarked[0].find("lines not marked as live regions for screen readers: "))
            << unmarked[0];
        EXPECT_NE(std::string::npos, unmarked[0].find(szError)) << unmarked[0];
    }
}

TEST_F(TraceTest, ListeningChangesNothingTheProgramDoes)
{
    WriteMixedRunList();
    RunTraced();
    const RegistrySnapshot traced = SnapshotTree(ProductKeyPath());
    const RegistrySnapshot tracedDisplay = SnapshotTree(DisplayKeyPath());
    std::vector<std::string> tracedLines;
    for (const ProbeRun& run : ReadProbeRuns(m_record))
        tracedLines.push_back(run.commandLine + "|" + run.currentDir);

    WriteMixedRunList();
    {
        CProgramRun run;
        ASSERT_TRUE(run.Started());
        ASSERT_TRUE(run.WaitForEnd(kEndsByItselfMs));
    }
    std::vector<std::string> plainLines;
    for (const ProbeRun& run : ReadProbeRuns(m_record))
        plainLines.push_back(run.commandLine + "|" + run.currentDir);

    EXPECT_EQ(traced, SnapshotTree(ProductKeyPath()));
    EXPECT_EQ(tracedDisplay, SnapshotTree(DisplayKeyPath()));
    EXPECT_EQ(2u, plainLines.size());
    EXPECT_EQ(tracedLines, plainLines);
}

TEST_F(TraceTest, NotesTheUserEndingTheDialogDuringAStep)
{
    WriteStep("long", "executable", ProbePath().c_str(),
              ProbeArguments(m_record, "--sleep 3000").c_str(), "Long");
    CProgramRun run(ProgramPath(), NULL, CProgramRun::kUnderDebugger);
    ASSERT_TRUE(run.Started());
    std::vector<std::string> lines;
    bool bPosted = false;
    run.CollectDebugOutput(kEndsByItselfMs, &lines, [&](const std::string& line) {
        if (!bPosted && line.find("step \"long\" launched") != std::string::npos) {
            HWND hDialog = run.FindDialog();
            if (hDialog != NULL)
                bPosted = PostMessageA(hDialog, WM_KEYDOWN, VK_ESCAPE, 1) != FALSE;
        }
    });
    ASSERT_TRUE(bPosted);
    EXPECT_TRUE(HasLine(lines, std::string(kPrefix) +
                                   "dialog ended by Escape or a close request while step 0 "
                                   "(\"long\") runs: its program runs on\n"))
        << Joined(lines);
}

TEST_F(TraceTest, NotesAMissingRunList)
{
    DeleteKeyTree(ManifestKeyPath());
    SetStringValue(DisplayKeyPath(), "DisplayName", "installer's name");
    const RegistrySnapshot displayBefore = SnapshotTree(DisplayKeyPath());
    const std::vector<std::string> lines = RunTraced();
    EXPECT_EQ(displayBefore, SnapshotTree(DisplayKeyPath())) << "the display key was written";
    EXPECT_TRUE(HasLine(lines, "run list HKLM\\" + ManifestKeyPath() +
                                   " cannot be opened (error 2): no steps, the window closes"))
        << Joined(lines);
    EXPECT_TRUE(HasLine(lines, "dialog ended by Escape or a close request before any step ran"))
        << Joined(lines);
}

// Wine makes no window for a program started without a display, as Windows makes none on a
// desktop whose heap is spent: nothing is shown and nothing runs, so the installer must not hear
// of success, and the run list must stay for a start that can show it. The program inherits the
// display from this process, so this case runs alone where this process can make no window
// (test_program_no_display, under Wine without a display); Windows always gives it one.
TEST_F(TraceTest, WithoutADisplayTheRunFailsAndLeavesTheRunList)
{
    HWND hProbe = CreateWindowExA(0, "STATIC", "display probe", WS_POPUP, 0, 0, 1, 1, NULL, NULL,
                                  GetModuleHandleA(NULL), NULL);
    if (hProbe != NULL) {
        DestroyWindow(hProbe);
        GTEST_SKIP() << "this process can show a window; the case needs one that cannot (no "
                        "display), which Windows never is";
    }
    SetStringValue(ManifestKeyPath(), "DisplayName", "Tool");
    WriteProbeStep("only", "", "Only");
    const RegistrySnapshot before = SnapshotTree(ProductKeyPath());
    DWORD dwExitCode = 0;
    const std::vector<std::string> lines = RunTraced(&dwExitCode);

    EXPECT_NE(0u, dwExitCode);
    EXPECT_TRUE(HasLineStarting(lines, "progress window not made (error ")) << Joined(lines);
    EXPECT_NE(std::string::npos, Joined(lines).find("): no step ran, the run list is left as it "
                                                    "was for a later start\n"))
        << Joined(lines);
    EXPECT_TRUE(ProbeRuns().empty()) << "the step's program ran";
    EXPECT_EQ(before, SnapshotTree(ProductKeyPath()));
}

// The program's text is UTF-8, where a character takes up to four bytes: whichever byte the cut
// falls on, the line keeps whole characters, so a viewer shows no broken one before the mark.
TEST_F(TraceTest, CutsAnOverlongLineBetweenCharactersAndMarksTheCut)
{
    std::wstring emoji;
    for (int i = 0; i < 1000; ++i)
        emoji += L"\U0001F600";
    for (int nLead = 0; nLead < 4; ++nLead) {
        const std::string name = "long" + std::to_string(nLead);
        WriteStep(name, "executable", "%InstallDir%\\missing.exe", NULL, "Long");
        SetWideValue(StepKeyPath(name), "parameters", std::wstring(nLead, L'x') + emoji);
    }
    CProgramRun run(ProgramPath(), NULL, CProgramRun::kUnderDebugger);
    ASSERT_TRUE(run.Started());
    std::vector<std::string> lines;
    ASSERT_TRUE(run.CollectDebugOutput(kEndsByItselfMs, &lines));
    for (int nLead = 0; nLead < 4; ++nLead) {
        const std::string start =
            std::string(kPrefix) + "step \"long" + std::to_string(nLead) + "\" command line: ";
        std::string cut;
        for (const std::string& line : lines) {
            if (line.compare(0, start.size(), start) == 0)
                cut = line;
        }
        ASSERT_FALSE(cut.empty()) << Joined(lines);
        EXPECT_LT(cut.size(), 4000u);
        EXPECT_GT(cut.size(), 3900u);
        EXPECT_EQ("...\n", cut.substr(cut.size() - 4));
        EXPECT_NE(0, MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, cut.data(),
                                         static_cast<int>(cut.size()), NULL, 0))
            << "a character cut in two before the mark, with " << nLead << " letters before them";
    }
}

// The whole program at the capacity: the window holds 597 lines, far taller than the screen, and
// still runs the last of them; a 598th step subkey is left and the trace says so.
TEST_F(TraceTest, NotesTheCapacityOnlyWhenSubkeysAreLeft)
{
    const auto writeSteps = [](int nSteps) {
        for (int i = 0; i < nSteps; ++i) {
            char szName[8];
            snprintf(szName, sizeof szName, "%03d", i);
            WriteStep(szName, "executable", "%InstallDir%\\missing.exe", NULL, "A step of many");
        }
    };
    const std::string capacity =
        "capacity of 597 steps reached: later subkeys are left for a later start";
    // Some 1,800 lines, each a round trip to this debugger: a loaded machine takes half a
    // minute over them.
    const DWORD kLimitMs = 3 * kEndsByItselfMs;
    const auto noLines = [](const std::string&) {};
    SetTestTimeLimit(2 * kLimitMs / 1000 + 60);

    writeSteps(597);
    std::vector<std::string> lines = RunTraced(NULL, NULL, noLines, kLimitMs);
    EXPECT_TRUE(HasLine(lines, "597 steps loaded")) << Joined(lines);
    EXPECT_FALSE(HasLine(lines, capacity)) << "no subkey was left";

    ClaimFigure("597 steps in a window taller than the screen all ran, the 598th stayed in the "
                "registry, and the program ended by itself");
    DeleteFileA(m_record.c_str());
    writeSteps(598);
    WriteProbeStep("000", "--exit 1", "First");
    WriteProbeStep("596", "--exit 2", "Last");
    WriteProbeStep("597", "--exit 3", "Beyond the capacity");
    lines = RunTraced(NULL, NULL, noLines, kLimitMs);
    EXPECT_TRUE(HasLine(lines, capacity)) << Joined(lines);
    EXPECT_TRUE(HasLine(lines, "all 597 steps run: the window closes")) << Joined(lines);
    const std::vector<ProbeRun> runs = ProbeRuns();
    ASSERT_EQ(2u, runs.size()) << "the first and the last step run, the 598th not";
    EXPECT_NE(std::string::npos, runs[0].commandLine.find("--exit 1")) << runs[0].commandLine;
    EXPECT_NE(std::string::npos, runs[1].commandLine.find("--exit 2")) << runs[1].commandLine;
    EXPECT_EQ(std::vector<std::string>{"597"}, SubkeyNames(ManifestKeyPath()));
}

// The file a customer sends: the whole trace of each run, from the guard's first line, text in
// the program's code page byte for byte, each run after the one before.
TEST_F(TraceTest, TraceFileHoldsEveryLineOfEachRunAfterTheOneBefore)
{
    const std::string path = m_setupDir + "\\finish.log";
    SetStringValue(ManifestKeyPath(), "TraceFile", "%QuillmereDir%\\finish.log");
    SetWideValue(ManifestKeyPath(), "DisplayName", L"\u03A9mega \u88FD\u54C1 \U0001F600");
    WriteProbeStep("1-good", "", "Good");
    const std::string beforeFirst = LocalTimeStamp();
    // While the run writes the file, no other process may write into it: it would put lines of
    // its own among the run's. Looked at as the step's program starts.
    DWORD dwOpenError = ERROR_SUCCESS;
    const std::vector<std::string> first = RunTraced(NULL, NULL, [&](const std::string& line) {
        if (line.find("step \"1-good\" launched") == std::string::npos)
            return;
        const HANDLE hFile = CreateFileA(path.c_str(), FILE_APPEND_DATA,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         NULL, OPEN_EXISTING, 0, NULL);
        dwOpenError = hFile == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
        if (hFile != INVALID_HANDLE_VALUE)
            CloseHandle(hFile);
    });
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), dwOpenError)
        << "another process could open the trace file for writing during the run";
    const std::string afterFirst = LocalTimeStamp();
    EXPECT_TRUE(HasLine(first, "trace file \"" + path +
                                   "\" opened: every line of the run is appended to it"))
        << Joined(first);
    EXPECT_EQ(1u, ProbeRuns().size());
    const std::string firstText = ReadFileText(path);
    ExpectRunInFile(firstText, first, beforeFirst, afterFirst);

    const std::vector<std::string> second = RunTraced();
    const std::string bothText = ReadFileText(path);
    ASSERT_EQ(firstText, bothText.substr(0, firstText.size())) << "the first run's lines changed";
    ExpectRunInFile(bothText.substr(firstText.size()), second, afterFirst, LocalTimeStamp());
}

// A trace file changes nothing the run does, whatever becomes of it; refused, the debug output
// says why. No value, or an empty one: no file anywhere.
TEST_F(TraceTest, TraceFileAbsentEmptyOrRefusedLeavesTheRunAsItIs)
{
    const RunOutcome without = RunWithTraceFile(NULL);
    EXPECT_TRUE(HasLine(without.lines, "TraceFile not read (error 2)")) << Joined(without.lines);
    EXPECT_EQ(std::vector<std::string>({"Setup", "record.txt"}), FilesUnder(m_dir));

    const std::string other = m_dir + "\\other.txt", linked = m_setupDir + "\\linked.log";
    WriteFileText(other, "the other file's bytes");
    ASSERT_TRUE(CreateHardLinkA(linked.c_str(), other.c_str(), NULL)) << GetLastError();
    ASSERT_TRUE(CreateDirectoryA((m_setupDir + "\\folder.log").c_str(), NULL));
    const std::string overLimit = m_setupDir + "\\" + std::string(259 - m_setupDir.size(), 'x');
    struct Case {
        std::string value, path, reason;
    };
    std::vector<Case> cases = {
        {"", "", ""},
        {"%InstallDir%\\missing\\finish.log", m_dir + "\\missing\\finish.log",
         "its folder does not exist"},
        {"%QuillmereDir%\\folder.log", m_setupDir + "\\folder.log", "it is a folder"},
        {"%QuillmereDir%\\linked.log", linked, "it has 2 hard links: other names of one file"},
        {overLimit, overLimit, "its path is longer than 259 characters"},
        {"finish.log", "finish.log", "it is not a full path on a drive or a share"},
    };
    // Wine 8 makes no symbolic link: CreateSymbolicLinkA reports success and leaves nothing
    // (and follows a Unix one as the file it names), so the case runs where links are made.
    const std::string symlink = m_setupDir + "\\symlink.log";
    CreateSymbolicLinkA(symlink.c_str(), other.c_str(), 0);
    const DWORD dwLink = GetFileAttributesA(symlink.c_str());
    if (dwLink != INVALID_FILE_ATTRIBUTES && (dwLink & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        cases.push_back({"%QuillmereDir%\\symlink.log", symlink, "it is a reparse point (a link)"});
    const std::vector<std::string> files = FilesUnder(m_dir);
    for (const auto& c : cases) {
        const RunOutcome outcome = RunWithTraceFile(c.value.c_str());
        EXPECT_EQ(without.product, outcome.product) << c.value;
        EXPECT_EQ(without.display, outcome.display) << c.value;
        EXPECT_EQ(without.steps, outcome.steps) << c.value;
        EXPECT_EQ(files, FilesUnder(m_dir)) << c.value << ": a file made or taken away";
        if (c.reason.empty()) {
            EXPECT_TRUE(HasLine(outcome.lines, "TraceFile \"\"")) << Joined(outcome.lines);
            EXPECT_FALSE(HasLineStarting(outcome.lines, "trace file ")) << Joined(outcome.lines);
        } else {
            EXPECT_TRUE(HasLine(outcome.lines, "trace file \"" + c.path + "\" refused: " +
                                                   c.reason + "; the run goes on without it"))
                << Joined(outcome.lines);
        }
    }
    EXPECT_EQ("the other file's bytes", ReadFileText(other));
}
