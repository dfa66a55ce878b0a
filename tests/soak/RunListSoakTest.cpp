// Soaks the run list: random run lists written into the real registry, each loaded, consumed and
// run by runlist_runner.exe as a child process with a bounded wait. Every run list must end
// without a crash or a hang, report at most 597 steps, delete the first 597 recognised step
// subkeys and change nothing else but the two display values it copies.
//
// 60 run lists by default, a few minutes under Wine. FINISHINSTALL_SOAK_RUNS=300 runs the full
// count; FINISHINSTALL_SOAK_SEED=n runs only the run list of seed n, to reproduce a failure.
//
// A write past a buffer shows only when it breaks something. In a build folder configured with
// -DCMAKE_CXX_FLAGS=-fstack-protector-all -DCMAKE_EXE_LINKER_FLAGS=-lssp, the runner ends at the
// first write past any of its stack buffers, and the soak counts it as a crash.

#include <gtest/gtest.h>

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "soak/RunListGenerator.h"
#include "support/Figures.h"
#include "support/ProgramRun.h"
#include "support/TestPaths.h"
#include "support/TestRegistry.h"
#include "support/Watchdog.h"

namespace {

const uint64_t kDefaultRuns = 60;
// What the program is meant to do, written out here rather than taken from its headers.
const UINT kMostSteps = 597;
const DWORD kTextReadSize = 4095;
// Loading, consuming and running a thousand steps that start nothing takes a few seconds under
// Wine; every started program costs the program's one-second poll and its own start.
const DWORD kBaseLimitMs = 30000;
const DWORD kLimitPerLaunchMs = 2000;
// Beyond a run list's own limit: writing it and taking the snapshots before and after.
const DWORD kWatchdogMarginSeconds = 60;

// A key's snapshot lines ("name|type|hex"), sorted: the registry lists values in an order of
// its own, which a new value may enter anywhere.
std::vector<std::string> SortedLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::string LineName(const std::string& line)
{
    return line.substr(0, line.find('|'));
}

bool SameNameIgnoringCase(const std::string& left, const std::string& right)
{
    return left.size() == right.size() && _strnicmp(left.c_str(), right.c_str(), left.size()) == 0;
}

// The snapshot text of a key after a REG_SZ write of text: a value already there under the
// name in another case keeps its name and takes the new data.
std::string WithStringValue(const std::string& keyText, const char* pszName,
                            const std::string& text)
{
    std::string hex;
    for (unsigned char byte : text + '\0') {
        char szByte[3];
        snprintf(szByte, sizeof szByte, "%02x", byte);
        hex += szByte;
    }
    std::string result;
    std::string name = pszName;
    for (const std::string& line : SortedLines(keyText)) {
        if (SameNameIgnoringCase(LineName(line), pszName))
            name = LineName(line);
        else
            result += line + "\n";
    }
    char szType[16];
    snprintf(szType, sizeof szType, "%lu", static_cast<unsigned long>(REG_SZ));
    return result + name + "|" + szType + "|" + hex + "\n";
}

// A path with its bytes outside printable ASCII escaped, shortened for a report line.
std::string Printable(const std::string& text)
{
    std::string result;
    for (unsigned char ch : text) {
        if (ch >= 0x20 && ch < 0x7f) {
            result += static_cast<char>(ch);
        } else {
            char szByte[8];
            snprintf(szByte, sizeof szByte, "\\x%02x", ch);
            result += szByte;
        }
    }
    return result.size() > 160 ? result.substr(0, 160) + "..." : result;
}

// What the run list should leave behind, from what the generator wrote alone: the registry
// lists the step subkeys (in its own order), the generator's record tells which of them read
// as a step.
struct Expectation {
    UINT nSteps = 0;
    RegistrySnapshot after;
    std::vector<std::string> strangers; // subkeys the generator does not know it wrote
};

Expectation Expect(const WrittenRunList& list, const RegistrySnapshot& before,
                   const std::vector<std::string>& subkeysInOrder)
{
    Expectation expectation;
    expectation.after = before;
    if (!list.bManifestKey)
        return expectation;

    std::map<std::string, const WrittenStep*> steps;
    for (const WrittenStep& step : list.steps)
        steps[step.keyName] = &step;
    for (const std::string& name : subkeysInOrder) {
        if (expectation.nSteps == kMostSteps)
            break;
        const auto found = steps.find(name);
        if (found == steps.end()) {
            expectation.strangers.push_back(name);
            continue;
        }
        if (KindAsRead(*found->second) == kNoStep)
            continue;
        ++expectation.nSteps;
        const std::string path = StepKeyPath(name);
        expectation.after.erase(path);
        for (auto below = expectation.after.lower_bound(path + "\\");
             below != expectation.after.end() &&
             below->first.compare(0, path.size() + 1, path + "\\") == 0;)
            below = expectation.after.erase(below);
    }

    if (list.bDisplayKey) {
        for (const char* pszName : {"DisplayName", "DisplayIcon"}) {
            std::string text;
            if (ReadAsText(FindValue(list.manifestValues, pszName), kTextReadSize, &text) &&
                !text.empty())
                expectation.after[DisplayKeyPath()] =
                    WithStringValue(expectation.after[DisplayKeyPath()], pszName, text);
        }
    }
    return expectation;
}

// The keys whose values differ between the two snapshots, or that only one of them holds.
std::vector<std::string> DifferingKeys(const RegistrySnapshot& expected,
                                       const RegistrySnapshot& actual)
{
    std::vector<std::string> report;
    for (const auto& entry : expected) {
        const auto found = actual.find(entry.first);
        if (found == actual.end())
            report.push_back("lost: " + Printable(entry.first));
        else if (SortedLines(entry.second) != SortedLines(found->second))
            report.push_back("changed: " + Printable(entry.first));
    }
    for (const auto& entry : actual) {
        if (expected.find(entry.first) == expected.end())
            report.push_back("left or added: " + Printable(entry.first));
    }
    return report;
}

RegistrySnapshot SnapshotProgramKeys()
{
    RegistrySnapshot snapshot = SnapshotTree(ProductKeyPath());
    const RegistrySnapshot display = SnapshotTree(DisplayKeyPath());
    snapshot.insert(display.begin(), display.end());
    return snapshot;
}

std::vector<uint64_t> SeedsToRun()
{
    std::vector<uint64_t> seeds;
    const char* pszSeed = getenv("FINISHINSTALL_SOAK_SEED");
    if (pszSeed != NULL && *pszSeed != '\0') {
        seeds.push_back(strtoull(pszSeed, NULL, 0));
        return seeds;
    }
    uint64_t nRuns = kDefaultRuns;
    const char* pszRuns = getenv("FINISHINSTALL_SOAK_RUNS");
    if (pszRuns != NULL && *pszRuns != '\0')
        nRuns = strtoull(pszRuns, NULL, 0);
    for (uint64_t seed = 1; seed <= nRuns; ++seed)
        seeds.push_back(seed);
    return seeds;
}

// The program's keys belong to the fixture; the install location of the run lists whose steps
// start programs is a scratch folder with a Setup folder, and the runner works in an empty one,
// so that no relative setup folder a run list names exists. The root of its drive holds
// programs in "\Setup" and "\bin", as any user may put there: a run list whose install location
// cannot be used must start nothing there. Every childprobe.exe started, planted or named by a
// step, records its start in one file. The counts are what the soak saw, reported as its figure:
// FAILED when any of them is not zero or any check failed.
class RunListSoakTest : public RegistryTest {
protected:
    void SetUp() override
    {
        RegistryTest::SetUp();
        m_dir = MakeScratchDir("soak");
        m_locationDir = m_dir + "\\loc";
        m_workingDir = m_dir + "\\cwd";
        CreateDirectoryA(m_locationDir.c_str(), NULL);
        CreateDirectoryA((m_locationDir + "\\Setup").c_str(), NULL);
        CreateDirectoryA(m_workingDir.c_str(), NULL);
        m_record = m_dir + "\\record.txt";
        SetEnvironmentVariableA("CHILDPROBE_RECORD", m_record.c_str());
    }
    void TearDown() override
    {
        ReportFigure(
            m_nCrashes + m_nHangs + m_nMiscounted + m_nStrayStarts + m_nKeysLostOrChanged != 0);
        SetEnvironmentVariableA("CHILDPROBE_RECORD", NULL);
        RegistryTest::TearDown();
        RemoveScratchDir(m_dir);
    }

    // The figure so far, claimed again after every run list so that a soak the watchdog ends
    // still reports what it saw.
    void ClaimCounts() const
    {
        char szFigure[160];
        snprintf(szFigure, sizeof szFigure,
                 "run lists: %u, crashes: %u, hangs: %u, steps miscounted: %u, stray starts: %u, "
                 "keys lost or changed: %u",
                 m_nRunLists, m_nCrashes, m_nHangs, m_nMiscounted, m_nStrayStarts,
                 m_nKeysLostOrChanged);
        ClaimFigure(szFigure, kCounts);
    }

    std::string m_dir;
    std::string m_locationDir;
    std::string m_workingDir;
    std::string m_record;
    unsigned m_nRunLists = 0;
    unsigned m_nCrashes = 0;
    unsigned m_nHangs = 0;
    unsigned m_nMiscounted = 0;
    unsigned m_nStrayStarts = 0; // programs started by a run list that names none to start
    unsigned m_nKeysLostOrChanged = 0;
};

} // namespace

TEST_F(RunListSoakTest, RandomRunListsNeitherCrashNorHangNorTouchOtherKeys)
{
    ClaimCounts();
    const CPlantedRoot planted(m_workingDir.substr(0, 2));
    if (planted.AlreadyThere())
        GTEST_SKIP() << "\\Setup or \\bin is already at the root of " << m_workingDir.substr(0, 2)
                     << ": this machine's own, not planted over";
    ASSERT_TRUE(planted.Planted());
    ASSERT_TRUE(FileExists(TestBinaryDir() + "\\runlist_runner.exe"));
    // The soak writes and reads the registry in the program's code page, as the runner does,
    // so that every character the generator draws is one the registry gives back unchanged.
    ASSERT_EQ(static_cast<UINT>(CP_UTF8), GetACP()) << "the soak's manifest did not take";
    RunListGenerator generator(ProbePath(), m_locationDir);

    for (uint64_t seed : SeedsToRun()) {
        const WrittenRunList list = generator.Write(seed);
        const RegistrySnapshot before = SnapshotProgramKeys();
        const Expectation expectation = Expect(list, before, SubkeyNames(ManifestKeyPath()));
        for (const std::string& name : expectation.strangers)
            ADD_FAILURE() << "seed " << seed << ": the generator wrote no subkey "
                          << Printable(name);

        const DWORD dwLimitMs = kBaseLimitMs + kLimitPerLaunchMs * list.nLaunchingSteps;
        SetTestTimeLimit(dwLimitMs / 1000 + kWatchdogMarginSeconds);
        DeleteFileA(m_record.c_str());
        const CapturedRun result =
            RunCapturingOutput(TestBinaryDir() + "\\runlist_runner.exe", "", m_workingDir.c_str(),
                               m_dir + "\\runner.txt", dwLimitMs);
        ASSERT_TRUE(result.bStarted)
            << "runlist_runner.exe did not start (error " << result.dwStartError << ")";
        ++m_nRunLists;
        const std::vector<std::string> differences =
            DifferingKeys(expectation.after, SnapshotProgramKeys());

        if (result.bHung) {
            ++m_nHangs;
            ADD_FAILURE() << "seed " << seed << ": not ended within " << dwLimitMs << " ms";
        } else if (result.dwExitCode != 0) {
            ++m_nCrashes;
            ADD_FAILURE() << "seed " << seed << ": exit code " << std::hex << result.dwExitCode;
        } else {
            // Programs the steps start may write into the runner's output too.
            const size_t lineStart = ("\n" + result.output).rfind("\nsteps: ");
            unsigned nReported = 0;
            if (lineStart == std::string::npos ||
                sscanf(result.output.c_str() + lineStart, "steps: %u", &nReported) != 1) {
                ++m_nMiscounted;
                ADD_FAILURE() << "seed " << seed << ": runner printed " << result.output;
            } else if (nReported != expectation.nSteps) {
                ++m_nMiscounted;
                ADD_FAILURE() << "seed " << seed << ": expected " << expectation.nSteps
                              << " steps (at most " << kMostSteps << "), the runner ran "
                              << nReported;
            }
        }
        const size_t nStarts = ReadProbeRuns(m_record).size();
        if (list.nLaunchingSteps == 0 && nStarts != 0) {
            ++m_nStrayStarts;
            ADD_FAILURE() << "seed " << seed << ": " << nStarts
                          << " programs started by a run list that starts none";
        }
        m_nKeysLostOrChanged += static_cast<unsigned>(differences.size());
        for (const std::string& difference : differences)
            ADD_FAILURE() << "seed " << seed << ": " << difference;
        ClaimCounts();
    }
}
