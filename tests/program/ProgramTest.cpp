// The built program, started as an installer starts it, against run lists in the real
// registry, with childprobe.exe as the steps' programs and the real regedit.exe for imports.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdio.h>
#include <string>
#include <vector>

#include "framework/CHandle.h"
#include "support/Figures.h"
#include "support/GuardHolder.h"
#include "support/InstalledProduct.h"
#include "support/ProgramRun.h"
#include "support/TestPaths.h"
#include "support/TestRegistry.h"
#include "support/TestWindows.h"

namespace {

const DWORD kEndsByItselfMs = 30000;

BOOL CALLBACK CollectChild(HWND hWnd, LPARAM lParam)
{
    reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hWnd);
    return TRUE;
}

LONG WindowTop(HWND hWnd)
{
    RECT rc;
    GetWindowRect(hWnd, &rc);
    return rc.top;
}

// The dialog's lines, top first.
std::vector<HWND> Lines(HWND hDialog)
{
    std::vector<HWND> lines;
    EnumChildWindows(hDialog, CollectChild, reinterpret_cast<LPARAM>(&lines));
    std::sort(lines.begin(), lines.end(),
              [](HWND a, HWND b) { return WindowTop(a) < WindowTop(b); });
    return lines;
}

// Where the dialog's lines are on the screen, top first.
std::vector<RECT> LineRects(HWND hDialog)
{
    std::vector<RECT> rects;
    for (HWND hLine : Lines(hDialog)) {
        RECT rc;
        GetWindowRect(hLine, &rc);
        rects.push_back(rc);
    }
    return rects;
}

std::wstring WindowTextW(HWND hWnd)
{
    WCHAR szText[4096] = L"";
    GetWindowTextW(hWnd, szText, 4096);
    return szText;
}

// The texts of the dialog's lines, top first, as the window holds them.
std::vector<std::wstring> LineTexts(HWND hDialog)
{
    std::vector<std::wstring> texts;
    for (HWND hLine : Lines(hDialog))
        texts.push_back(WindowTextW(hLine));
    return texts;
}

// Waits for a probe started with --handshake NAME to be running (at most 15 s).
bool WaitReady(const std::string& name)
{
    HANDLE hReady = CreateEventA(NULL, TRUE, FALSE, (name + "-ready").c_str());
    const bool bReady = WaitForSingleObject(hReady, 15000) == WAIT_OBJECT_0;
    CloseHandle(hReady);
    return bReady;
}

void Release(const std::string& name)
{
    HANDLE hGo = CreateEventA(NULL, TRUE, FALSE, (name + "-go").c_str());
    SetEvent(hGo);
    // The probe opens the event itself; keep ours until it has seen it.
    Sleep(100);
    CloseHandle(hGo);
}

std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

double Seconds(unsigned long long from, unsigned long long to)
{
    return static_cast<double>(static_cast<long long>(to - from)) / 1e7;
}

// What a screen reader hears of one program's run: the live-region changes its windows raise,
// taken out of context by this thread, as assistive technology takes them, each with its
// window's text as it was handled. Events are handled only while Pump runs. One listener at a
// time.
class CWinEventListener {
public:
    struct Event {
        HWND hWnd;
        LONG idObject;
        LONG idChild;
        std::wstring text;
        bool bWindowThere; // the window still existed when the event was handled
    };

    explicit CWinEventListener(DWORD dwProcessId)
    {
        s_pListening = this;
        m_hHook = SetWinEventHook(kLiveRegionChanged, kLiveRegionChanged, NULL, OnEvent,
                                  dwProcessId, 0, WINEVENT_OUTOFCONTEXT);
    }
    ~CWinEventListener()
    {
        if (m_hHook != NULL)
            UnhookWinEvent(m_hHook);
        s_pListening = NULL;
    }
    CWinEventListener(const CWinEventListener&) = delete;
    CWinEventListener& operator=(const CWinEventListener&) = delete;

    bool Listening() const { return m_hHook != NULL; }

    // Handles events until done() holds or dwMilliseconds have passed; true when done() held.
    template <class Done> bool PumpUntil(Done done, DWORD dwMilliseconds)
    {
        const DWORD dwStart = GetTickCount();
        for (;;) {
            MSG msg;
            while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE))
                DispatchMessageW(&msg);
            if (done())
                return true;
            if (GetTickCount() - dwStart >= dwMilliseconds)
                return false;
            MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT);
        }
    }
    void Pump(DWORD dwMilliseconds)
    {
        PumpUntil([] { return false; }, dwMilliseconds);
    }

    // In the order they came.
    const std::vector<Event>& Heard() const { return m_events; }

private:
    // EVENT_OBJECT_LIVEREGIONCHANGED, which the headers give only to programs for Windows 8.
    static const DWORD kLiveRegionChanged = 0x8019;

    static void CALLBACK OnEvent(HWINEVENTHOOK, DWORD, HWND hWnd, LONG idObject, LONG idChild,
                                 DWORD, DWORD)
    {
        if (s_pListening != NULL)
            s_pListening->m_events.push_back(
                {hWnd, idObject, idChild, WindowTextW(hWnd), IsWindow(hWnd) != FALSE});
    }

    static CWinEventListener* s_pListening;
    HWINEVENTHOOK m_hHook;
    std::vector<Event> m_events;
};

CWinEventListener* CWinEventListener::s_pListening = NULL;

class ProgramTest : public InstalledProductTest {
protected:
    // Runs the program on the current run list and expects it to end by itself, cleanly.
    void RunToTheEnd()
    {
        CProgramRun run;
        ASSERT_TRUE(run.Started());
        DWORD dwExitCode = 1;
        ASSERT_TRUE(run.WaitForEnd(kEndsByItselfMs, &dwExitCode)) << "the program did not end";
        EXPECT_EQ(0u, dwExitCode);
    }
};

} // namespace

// The road of one run, with text in every value that no ANSI code page holds whole: Greek,
// Devanagari, CJK and a character beyond the Basic Multilingual Plane. What the installer wrote
// reaches the display key, the window and the step's program unchanged, checked in UTF-16.
TEST_F(ProgramTest, RoadOfOneRun)
{
    const std::wstring product =
        L"\u03A9mega \u0915\u093F\u0924\u093E\u092C \u88FD\u54C1 \U0001F600";
    const std::string location = m_dir + "\\" + Utf8(product);
    const std::string drivers = location + "\\Setup\\drivers";
    for (const std::string& dir : {location, location + "\\Setup", drivers})
        ASSERT_TRUE(CreateDirectoryW(Wide(dir).c_str(), NULL)) << dir;
    ASSERT_TRUE(CopyFileW(Wide(ProbePath()).c_str(), Wide(drivers + "\\inst.exe").c_str(), FALSE));
    const std::string scratchKey = "SOFTWARE\\FinishInstallTests\\Settings";
    DeleteKeyTree(scratchKey);
    const std::string regFile = location + "\\settings " + Utf8(product) + ".reg";
    const std::string regText =
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\" + scratchKey + "]\r\n\"Imported\"=\"yes\"\r\n";
    HANDLE hRegFile = CreateFileW(Wide(regFile).c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, hRegFile);
    DWORD cbWritten;
    WriteFile(hRegFile, regText.data(), static_cast<DWORD>(regText.size()), &cbWritten, NULL);
    CloseHandle(hRegFile);

    SetWideValue(ProductKeyPath(), "InstallLocation", Wide(location));
    const std::wstring title = L"Finishing " + product;
    const std::wstring displayName = product + L" 4.2";
    const std::wstring displayIcon = Wide(location) + L"\\tool.exe,0";
    const std::wstring texts[] = {L"Installing the drivers of " + product, L"Registering settings"};
    SetWideValue(ManifestKeyPath(), "Title", title);
    SetWideValue(ManifestKeyPath(), "DisplayName", displayName);
    SetWideValue(ManifestKeyPath(), "DisplayIcon", displayIcon);
    char szName[64];
    snprintf(szName, sizeof szName, "FinishInstallRoad%lu", GetCurrentProcessId());
    const std::string parameters = "-q --tag \"" + Utf8(product) + "\" " +
                                   ProbeArguments(m_record, std::string("--handshake ") + szName);
    WriteStep("a", "executable", "%QuillmereDir%\\drivers\\inst.exe");
    SetWideValue(StepKeyPath("a"), "parameters", Wide(parameters));
    SetWideValue(StepKeyPath("a"), "text", texts[0]);
    WriteStep("b", "reg", NULL);
    SetWideValue(StepKeyPath("b"), "command", L"%InstallDir%\\settings " + product + L".reg");
    SetWideValue(StepKeyPath("b"), "text", texts[1]);

    CProgramRun run;
    ASSERT_TRUE(run.Started());
    ASSERT_TRUE(WaitReady(szName)) << "the first step did not start";
    HWND hDialog = run.FindDialog();
    ASSERT_NE(nullptr, hDialog);
    EXPECT_EQ(Utf8(title), Utf8(WindowTextW(hDialog)));
    const std::vector<std::wstring> lines = LineTexts(hDialog);
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(Utf8(texts[0]), Utf8(lines[0]));
    EXPECT_EQ(Utf8(texts[1]), Utf8(lines[1]));
    Release(szName);
    DWORD dwExitCode = 1;
    ASSERT_TRUE(run.WaitForEnd(kEndsByItselfMs, &dwExitCode)) << "the program did not end";
    EXPECT_EQ(0u, dwExitCode);

    const std::vector<ProbeRun> runs = ReadProbeRuns(m_record);
    ASSERT_EQ(1u, runs.size());
    EXPECT_EQ(Quoted(drivers + "\\inst.exe") + " " + parameters, runs[0].commandLine);
    EXPECT_EQ(location + "\\Setup", runs[0].currentDir);
    EXPECT_EQ("yes", ReadStringValue(scratchKey, "Imported"));
    EXPECT_EQ(Utf8(displayName), Utf8(ReadWideValue(DisplayKeyPath(), "DisplayName")));
    EXPECT_EQ(Utf8(displayIcon), Utf8(ReadWideValue(DisplayKeyPath(), "DisplayIcon")));
    EXPECT_TRUE(SubkeyNames(ManifestKeyPath()).empty());
    EXPECT_EQ(Utf8(title), Utf8(ReadWideValue(ManifestKeyPath(), "Title")));
    EXPECT_EQ(Utf8(displayName), Utf8(ReadWideValue(ManifestKeyPath(), "DisplayName")));
    DeleteKeyTree("SOFTWARE\\FinishInstallTests");
}

// What a person sees: while step i runs, line i is drawn bold, so wider than while any other
// step runs. The lines' fonts are only selected while they paint, so the screen is the witness.
TEST_F(ProgramTest, RunningStepsLineIsBoldAndEveryOtherLineNormal)
{
    const int kSteps = 3;
    const char* texts[kSteps] = {"Copying the program files", "Registering the components",
                                 "Creating the shortcuts"};
    char szId[32];
    snprintf(szId, sizeof szId, "%lu", GetCurrentProcessId());
    std::vector<std::string> names;
    for (int i = 0; i < kSteps; ++i) {
        names.push_back(std::string("FinishInstallBold") + szId + "-" + std::to_string(i));
        WriteProbeStep(std::to_string(i), "--handshake " + names[i], texts[i]);
    }
    // Beside the test program: in the build folder, or in the test bundle's own folder.
    const std::string shots = TestBinaryDir() + "\\screenshots";
    CreateDirectoryA(shots.c_str(), NULL);

    CProgramRun run;
    ASSERT_TRUE(run.Started());
    // drawn[step][line]: how wide each line's text is drawn while that step runs.
    std::vector<std::vector<int>> drawn(kSteps);
    for (int step = 0; step < kSteps; ++step) {
        ASSERT_TRUE(WaitReady(names[step])) << "step " << step << " did not start";
        HWND hDialog = run.FindDialog();
        ASSERT_NE(nullptr, hDialog);
        const std::vector<RECT> lines = LineRects(hDialog);
        ASSERT_EQ(static_cast<size_t>(kSteps), lines.size());
        for (const RECT& rc : lines)
            drawn[step].push_back(MeasureTextWidth(rc));
        RECT rcDialog;
        GetWindowRect(hDialog, &rcDialog);
        SaveScreenBitmap(rcDialog, shots + "\\step" + std::to_string(step) + ".bmp");
        Release(names[step]);
    }
    ASSERT_TRUE(run.WaitForEnd(kEndsByItselfMs));

    for (int line = 0; line < kSteps; ++line) {
        for (int step = 0; step < kSteps; ++step) {
            if (step == line)
                continue;
            EXPECT_GT(drawn[line][line], drawn[step][line] * 105 / 100)
                << "line " << line << " while step " << line << " runs (" << drawn[line][line]
                << " pixels wide) against while step " << step << " runs (" << drawn[step][line]
                << ")";
            EXPECT_GT(drawn[step][line], 0) << "line " << line << " shows no text";
        }
    }
}

// What a screen reader hears: as each step starts, one live-region change from that step's line,
// the line whose text is the step's, in order, and nothing once the window has closed.
TEST_F(ProgramTest, ScreenReaderHearsEachStepFromItsLineAsItStarts)
{
    ClaimFigure("a screen reader listening out of context heard one live-region change per "
                "step, in order, each from its step's line, and none after the window closed");
    const int kSteps = 3;
    const wchar_t* texts[kSteps] = {L"Copying the program files", L"Registering the components",
                                    L"Creating the shortcuts"};
    char szId[32];
    snprintf(szId, sizeof szId, "%lu", GetCurrentProcessId());
    std::vector<std::string> names;
    // Each probe sets its ready event once it runs; looked at here while the events are pumped.
    std::vector<std::unique_ptr<CHandle>> ready;
    for (int i = 0; i < kSteps; ++i) {
        names.push_back(std::string("FinishInstallHeard") + szId + "-" + std::to_string(i));
        WriteProbeStep(std::to_string(i), "--handshake " + names[i], Utf8(texts[i]).c_str());
        ready.emplace_back(
            new CHandle(CreateEventA(NULL, TRUE, FALSE, (names[i] + "-ready").c_str())));
    }

    CProgramRun run(ProgramPath(), NULL, CProgramRun::kSuspended);
    ASSERT_TRUE(run.Started());
    CWinEventListener listener(run.GetProcessId());
    ASSERT_TRUE(listener.Listening()) << "error " << GetLastError();
    run.Resume();
    for (int step = 0; step < kSteps; ++step) {
        ASSERT_TRUE(listener.PumpUntil(
            [&] { return WaitForSingleObject(*ready[step], 0) == WAIT_OBJECT_0; }, 15000))
            << "step " << step << " did not start";
        HWND hDialog = run.FindDialog();
        ASSERT_NE(nullptr, hDialog);
        const std::vector<HWND> lines = Lines(hDialog);
        ASSERT_EQ(static_cast<size_t>(kSteps), lines.size());
        // The event is raised once the line is drawn bold, as the step's program starts (the
        // first step's, half a second after, once its program has had its start).
        listener.PumpUntil([&] { return listener.Heard().size() > static_cast<size_t>(step); },
                           5000);
        const std::vector<CWinEventListener::Event> heard = listener.Heard();
        ASSERT_EQ(static_cast<size_t>(step + 1), heard.size()) << "while step " << step << " runs";
        EXPECT_EQ(lines[step], heard[step].hWnd) << "step " << step;
        EXPECT_EQ(Utf8(texts[step]), Utf8(heard[step].text)) << "step " << step;
        EXPECT_EQ(OBJID_CLIENT, heard[step].idObject) << "step " << step;
        EXPECT_EQ(CHILDID_SELF, heard[step].idChild) << "step " << step;
        Release(names[step]);
    }
    // The window closes after the last step, and the program ends: nothing more is heard, and
    // nothing came from a line already gone (Wine raises no event for a window's destruction,
    // so its lines' being there is the witness).
    ASSERT_TRUE(listener.PumpUntil([&] { return run.WaitForEnd(0); }, kEndsByItselfMs));
    listener.Pump(500);
    EXPECT_EQ(static_cast<size_t>(kSteps), listener.Heard().size());
    for (const CWinEventListener::Event& event : listener.Heard())
        EXPECT_TRUE(event.bWindowThere) << "an event from a line already destroyed";
}

TEST_F(ProgramTest, StepThatCannotStartIsFollowedAtOnceAndFailuresDoNotStopTheRun)
{
    ClaimFigure("a step exiting 5, a missing program, a crash and an exit code of 259 each "
                "let the next step run, and the program ended by itself");
    WriteProbeStep("1", "--exit 5", "First");
    WriteStep("2", "executable", "%InstallDir%\\missing.exe", NULL, "Missing");
    WriteProbeStep("3", "--crash", "Crashing");
    WriteProbeStep("4", "--exit 259", "Still active");
    WriteProbeStep("5", "", "Last");
    RunToTheEnd();

    const std::vector<ProbeRun> runs = ReadProbeRuns(m_record);
    ASSERT_EQ(4u, runs.size());
    // One poll of a second after the first step; the missing one adds no wait of its own.
    EXPECT_LT(Seconds(runs[0].start, runs[1].start), 1.9);
    EXPECT_NE(std::string::npos, runs[3].commandLine.find(ProbeArguments(m_record)));
}

TEST_F(ProgramTest, SecondStartFindsNoStepsAndWritesTheDisplayValuesAgain)
{
    SetStringValue(ManifestKeyPath(), "DisplayName", "Tool");
    WriteProbeStep("a", "", "Only step");
    RunToTheEnd();
    ASSERT_EQ(1u, ReadProbeRuns(m_record).size());

    SetStringValue(DisplayKeyPath(), "DisplayName", "changed since");
    const RegistrySnapshot manifestBefore = SnapshotTree(ManifestKeyPath());
    RunToTheEnd();
    EXPECT_EQ(1u, ReadProbeRuns(m_record).size()) << "a step ran again";
    EXPECT_EQ("Tool", ReadStringValue(DisplayKeyPath(), "DisplayName"));
    EXPECT_EQ(manifestBefore, SnapshotTree(ManifestKeyPath()));
}

// Starts at the same moment (an installer's and a RunOnce entry's) take the run list once: each
// step's program starts once per round, and every start ends by itself.
TEST_F(ProgramTest, StartsAtTheSameMomentRunTheListOnce)
{
    ClaimFigure("three starts at the same moment, in three rounds, ran each of three steps once "
                "and each ended by itself");
    const int kRounds = 3, kStarts = 3, kSteps = 3;
    for (int round = 0; round < kRounds; ++round) {
        DeleteFileA(m_record.c_str());
        for (int step = 0; step < kSteps; ++step)
            WriteProbeStep(std::to_string(step), "--tag step" + std::to_string(step), "Step");
        // Steps whose program is missing take no time to run, but a line each to make while the
        // run list is read and not yet consumed: without a guard, starts overlap there.
        for (int i = 0; i < 150; ++i)
            WriteStep("missing" + std::to_string(i), "executable", "%InstallDir%\\missing.exe",
                      NULL, "Missing");
        std::vector<std::unique_ptr<CProgramRun>> runs;
        for (int i = 0; i < kStarts; ++i) {
            runs.emplace_back(new CProgramRun(ProgramPath(), NULL, CProgramRun::kSuspended));
            ASSERT_TRUE(runs.back()->Started()) << "round " << round << ": " << GetLastError();
        }
        for (const auto& run : runs)
            run->Resume();
        for (const auto& run : runs) {
            DWORD dwExitCode = 1;
            EXPECT_TRUE(run->WaitForEnd(kEndsByItselfMs, &dwExitCode)) << "round " << round;
            EXPECT_EQ(0u, dwExitCode) << "round " << round;
        }
        std::vector<int> starts(kSteps);
        for (const ProbeRun& probe : ReadProbeRuns(m_record)) {
            for (int step = 0; step < kSteps; ++step)
                starts[step] +=
                    probe.commandLine.find("step" + std::to_string(step)) != std::string::npos;
        }
        EXPECT_EQ(std::vector<int>(kSteps, 1), starts) << "round " << round << ": starts per step";
        EXPECT_TRUE(SubkeyNames(ManifestKeyPath()).empty()) << "round " << round;
    }
}

namespace {

// Ends the dialog with a key while a long step runs; the program must end at once, cleanly,
// and leave the step's program running.
void EndDuringALongStep(ProgramTest* pTest, const std::string& record, WPARAM vk)
{
    (void)pTest;
    char szName[64];
    snprintf(szName, sizeof szName, "FinishInstallEnd%lu-%u", GetCurrentProcessId(),
             static_cast<unsigned>(vk));
    CProgramRun run(ProgramPath(), NULL, CProgramRun::kSuspended);
    ASSERT_TRUE(run.Started());
    CWinEventListener listener(run.GetProcessId());
    ASSERT_TRUE(listener.Listening()) << "error " << GetLastError();
    run.Resume();
    ASSERT_TRUE(WaitReady(szName));
    HWND hDialog = run.FindDialog();
    ASSERT_NE(nullptr, hDialog);
    Release(szName);
    listener.PumpUntil([&] { return !listener.Heard().empty(); }, 5000);
    // The modal loop takes a posted key exactly as a typed one.
    PostMessageA(hDialog, WM_KEYDOWN, vk, 1);
    DWORD dwExitCode = 1;
    ASSERT_TRUE(listener.PumpUntil([&] { return run.WaitForEnd(0, &dwExitCode); }, 2500))
        << "the program did not end at once";
    EXPECT_EQ(0u, dwExitCode) << "the program did not end cleanly";
    // A screen reader heard the step that started, and of the steps the user cut off, nothing.
    listener.Pump(500);
    const std::vector<CWinEventListener::Event> heard = listener.Heard();
    ASSERT_EQ(1u, heard.size());
    EXPECT_EQ("Long step", Utf8(heard[0].text));
    std::vector<ProbeRun> runs = ReadProbeRuns(record);
    ASSERT_EQ(1u, runs.size());
    EXPECT_EQ(0u, runs[0].end) << "the step's program ended with the dialog";
    for (int i = 0; i < 100 && runs[0].end == 0; ++i, Sleep(100))
        runs = ReadProbeRuns(record);
    EXPECT_NE(0u, runs[0].end) << "the step's program did not run on to its end";
}

} // namespace

TEST_F(ProgramTest, EscapeDuringAStepEndsTheProgramAndLeavesTheChildRunning)
{
    ClaimFigure("Escape during a step ended the program within 2.5 s with exit code 0, and the "
                "step's program ran on to its end");
    char szName[64];
    snprintf(szName, sizeof szName, "FinishInstallEnd%lu-%u", GetCurrentProcessId(), VK_ESCAPE);
    WriteProbeStep("1", std::string("--handshake ") + szName + " --sleep 4000", "Long step");
    WriteProbeStep("2", "", "Never reached");
    EndDuringALongStep(this, m_record, VK_ESCAPE);
}

TEST_F(ProgramTest, EnterDuringAStepEndsTheProgramAndLeavesTheChildRunning)
{
    ClaimFigure("Enter during a step ended the program within 2.5 s with exit code 0, and the "
                "step's program ran on to its end");
    char szName[64];
    snprintf(szName, sizeof szName, "FinishInstallEnd%lu-%u", GetCurrentProcessId(), VK_RETURN);
    WriteProbeStep("1", std::string("--handshake ") + szName + " --sleep 4000", "Long step");
    EndDuringALongStep(this, m_record, VK_RETURN);
}

// Without an install location the placeholders would point at the root of the current drive;
// the program must start nothing there, whoever put what there, and end by itself.
TEST_F(ProgramTest, WithoutInstallLocationNothingPlantedAtTheDriveRootRuns)
{
    ClaimFigure("with the install location absent, empty or too long, programs planted in "
                "\\Setup and \\bin at the drive root did not run, no trace file went there, and "
                "the program ended by itself");
    const CPlantedRoot planted(m_dir.substr(0, 2));
    if (planted.AlreadyThere())
        GTEST_SKIP() << "\\Setup or \\bin is already at the root of " << m_dir.substr(0, 2)
                     << ": this machine's own, not planted over";
    ASSERT_TRUE(planted.Planted());
    SetEnvironmentVariableA("CHILDPROBE_RECORD", m_record.c_str());
    const std::string arguments = ProbeArguments(m_record);
    for (const char* pszCase : {"absent", "empty", "too long"}) {
        const std::string which = pszCase;
        if (which == "absent")
            RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, ProductKeyPath().c_str(), "InstallLocation");
        else
            SetInstallLocation(which == "empty" ? std::string() : "C:\\" + std::string(300, 'x'));
        WriteStep("a", "executable", "%InstallDir%\\bin\\tool.exe", arguments.c_str(), "Bin");
        WriteStep("b", "executable", "%QuillmereDir%\\tool.exe", arguments.c_str(), "Setup");
        SetStringValue(ManifestKeyPath(), "TraceFile", "%QuillmereDir%\\finish.log");
        CProgramRun run(ProgramPath(), m_dir.c_str());
        ASSERT_TRUE(run.Started());
        DWORD dwExitCode = 1;
        EXPECT_TRUE(run.WaitForEnd(kEndsByItselfMs, &dwExitCode)) << which;
        EXPECT_EQ(0u, dwExitCode) << which;
        EXPECT_TRUE(ReadProbeRuns(m_record).empty()) << which << ": a planted program ran";
        const std::string rootTrace = m_dir.substr(0, 2) + "\\Setup\\finish.log";
        EXPECT_FALSE(FileExists(rootTrace)) << which << ": the trace went to the drive's root";
        DeleteFileA(rootTrace.c_str());
    }
    SetEnvironmentVariableA("CHILDPROBE_RECORD", NULL);
}

TEST_F(ProgramTest, MissingDisplayKeyIsLeftMissing)
{
    ClaimFigure("without the display key nothing is created and the step still runs");
    DeleteKeyTree(DisplayKeyPath());
    SetStringValue(ManifestKeyPath(), "DisplayName", "Tool");
    WriteProbeStep("a", "", "Step");
    RunToTheEnd();
    EXPECT_FALSE(KeyExists(DisplayKeyPath()));
    EXPECT_EQ(1u, ReadProbeRuns(m_record).size());
}

TEST_F(ProgramTest, PlantedRegeditIsNotTheOneStarted)
{
    ClaimFigure("regedit.exe planted beside the program, in its current directory and in the "
                "setup directory did not run; the system's own imported the file");
    // A regedit.exe beside the program and one in its current directory: both come before the
    // system's own in the platform's search for a bare program name.
    const std::string appDir = m_dir + "\\app", cwd = m_dir + "\\cwd";
    CreateDirectoryA(appDir.c_str(), NULL);
    CreateDirectoryA(cwd.c_str(), NULL);
    ASSERT_TRUE(CopyFileA(ProgramPath().c_str(), (appDir + "\\FinishInstall.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(ProbePath().c_str(), (appDir + "\\regedit.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(ProbePath().c_str(), (cwd + "\\regedit.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(ProbePath().c_str(), (m_setupDir + "\\regedit.exe").c_str(), FALSE));
    const std::string scratchKey = "SOFTWARE\\FinishInstallTests\\Planted";
    DeleteKeyTree(scratchKey);
    WriteFileText(m_dir + "\\fix.reg", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\" + scratchKey +
                                           "]\r\n\"Real\"=\"yes\"\r\n");
    WriteStep("a", "reg", "%InstallDir%\\fix.reg", NULL, "Importing");

    SetEnvironmentVariableA("CHILDPROBE_RECORD", m_record.c_str());
    CProgramRun run(appDir + "\\FinishInstall.exe", cwd.c_str());
    SetEnvironmentVariableA("CHILDPROBE_RECORD", NULL);
    ASSERT_TRUE(run.Started());
    ASSERT_TRUE(run.WaitForEnd(kEndsByItselfMs));
    EXPECT_TRUE(ReadProbeRuns(m_record).empty()) << "a planted regedit.exe ran";
    EXPECT_EQ("yes", ReadStringValue(scratchKey, "Real"));
    DeleteKeyTree("SOFTWARE\\FinishInstallTests");
}

// Another start that holds the guard past the wait keeps the whole run list: this start runs
// nothing, changes nothing, says why in the trace file and tells the installer it did not run.
TEST_F(ProgramTest, GuardHeldByAnotherStartLeavesTheRunListWholeAndTheInstallerHearsOfIt)
{
    ClaimFigure("with the run list's guard held by another start, the program ran no step, left "
                "the run list whole, said so in its trace file and ended with exit code 258");
    SetStringValue(ManifestKeyPath(), "DisplayName", "Tool");
    SetStringValue(ManifestKeyPath(), "TraceFile", "%QuillmereDir%\\finish.log");
    WriteProbeStep("a", "", "Step");
    const RegistrySnapshot productBefore = SnapshotTree(ProductKeyPath());
    const RegistrySnapshot displayBefore = SnapshotTree(DisplayKeyPath());
    CGuardHolder holder(9000, false);
    ASSERT_TRUE(holder.Taken());
    CProgramRun run;
    ASSERT_TRUE(run.Started());
    DWORD dwExitCode = 0;
    ASSERT_TRUE(run.WaitForEnd(kEndsByItselfMs, &dwExitCode)) << "the program did not end";
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), dwExitCode);
    EXPECT_TRUE(ReadProbeRuns(m_record).empty()) << "a step ran";
    EXPECT_EQ(productBefore, SnapshotTree(ProductKeyPath()));
    EXPECT_EQ(displayBefore, SnapshotTree(DisplayKeyPath()));
    const std::string trace = ReadFileText(m_setupDir + "\\finish.log");
    EXPECT_NE(std::string::npos,
              trace.find("run list guard " + GuardNameHere() + " still held by another start"))
        << trace;
}

// A command that names no folder is looked for where only administrators write, the setup
// directory and the system folder, never beside the program, in its current directory or on
// PATH, where anyone may have put a program of that name for it to start with its rights.
TEST_F(ProgramTest, CommandWithoutAFullPathIsLookedForOnlyInTheSetupAndSystemFolders)
{
    ClaimFigure("relstep.exe planted beside the program, in its current directory and in a "
                "folder of PATH did not run; one in the setup directory and the system's "
                "cmd.exe did");
    const std::string appDir = m_dir + "\\app", cwd = m_dir + "\\cwd", pathDir = m_dir + "\\path";
    for (const std::string& dir : {appDir, cwd, pathDir})
        ASSERT_TRUE(CreateDirectoryA(dir.c_str(), NULL)) << dir;
    ASSERT_TRUE(CopyFileA(ProgramPath().c_str(), (appDir + "\\FinishInstall.exe").c_str(), FALSE));
    for (const std::string& dir : {appDir, cwd, pathDir})
        ASSERT_TRUE(CopyFileA(ProbePath().c_str(), (dir + "\\relstep.exe").c_str(), FALSE));
    const std::string arguments = ProbeArguments(m_record);
    SetStringValue(ManifestKeyPath(), "TraceFile", "%QuillmereDir%\\finish.log");
    WriteStep("1-planted", "executable", "relstep.exe", arguments.c_str(), "Planted");
    WriteStep("2-system", "executable", "cmd.exe", "/c exit 7", "System");
    WriteStep("3-setup", "executable", "setupstep", arguments.c_str(), "Setup");
    ASSERT_TRUE(CopyFileA(ProbePath().c_str(), (m_setupDir + "\\setupstep.exe").c_str(), FALSE));

    char szPath[32767] = "";
    GetEnvironmentVariableA("PATH", szPath, sizeof szPath);
    const std::string path = szPath;
    SetEnvironmentVariableA("PATH", (pathDir + ";" + path).c_str());
    CProgramRun run(appDir + "\\FinishInstall.exe", cwd.c_str());
    SetEnvironmentVariableA("PATH", path.c_str());
    ASSERT_TRUE(run.Started());
    DWORD dwExitCode = 1;
    ASSERT_TRUE(run.WaitForEnd(kEndsByItselfMs, &dwExitCode)) << "the program did not end";
    EXPECT_EQ(0u, dwExitCode);

    const std::vector<ProbeRun> runs = ReadProbeRuns(m_record);
    ASSERT_EQ(1u, runs.size()) << "a planted relstep.exe ran, or the setup directory's did not";
    EXPECT_EQ(0u, runs[0].commandLine.find(Quoted(m_setupDir + "\\setupstep.exe") + " "))
        << runs[0].commandLine;
    const std::string trace = ReadFileText(m_setupDir + "\\finish.log");
    EXPECT_NE(std::string::npos,
              trace.find("step \"1-planted\" not launched: \"relstep.exe\" is not a full path and "
                         "is in neither the setup directory nor the system folder"))
        << trace;
    EXPECT_NE(std::string::npos, trace.find("step \"2-system\" ended with exit code 7")) << trace;
}

// Deployment tools start installers hidden, and installers start their programs minimised or
// maximised: the steps run and the program ends by itself whatever the window was asked to be.
TEST_F(ProgramTest, StepsRunWhateverShowCommandTheStarterGave)
{
    ClaimFigure("started hidden, minimised, minimised without activation and maximised, the "
                "program ran its step and ended by itself each time");
    const struct {
        int nShowCommand;
        const char* pszName;
    } commands[] = {{SW_HIDE, "SW_HIDE"},
                    {SW_SHOWMINIMIZED, "SW_SHOWMINIMIZED"},
                    {SW_SHOWMINNOACTIVE, "SW_SHOWMINNOACTIVE"},
                    {SW_MINIMIZE, "SW_MINIMIZE"},
                    {SW_SHOWMAXIMIZED, "SW_SHOWMAXIMIZED"}};
    for (const auto& command : commands) {
        DeleteFileA(m_record.c_str());
        WriteProbeStep("a", "", "Step");
        CProgramRun run(ProgramPath(), NULL, CProgramRun::kPlain, command.nShowCommand);
        ASSERT_TRUE(run.Started()) << command.pszName;
        DWORD dwExitCode = 1;
        EXPECT_TRUE(run.WaitForEnd(kEndsByItselfMs, &dwExitCode)) << command.pszName;
        EXPECT_EQ(0u, dwExitCode) << command.pszName;
        EXPECT_EQ(1u, ReadProbeRuns(m_record).size()) << command.pszName;
    }
}
