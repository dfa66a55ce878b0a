// The test bundle's runner, started by run-tests.cmd: every case of cases.txt beside it (the
// cases the build's CTest runs), one after another, each program's output and GoogleTest's XML
// report beside that program, one line per case and a closing line.
//
//   testbundle [--program=PATH] [CASE...]       (no case: all of them)
//
// --program=PATH hands every case the same option: the whole-program tests then test that
// FinishInstall.exe, a Visual Studio build for one, in place of the bundle's own.
//
// Exit status 0 when every case passed, 1 when any failed, 2 when it would not run at all: not
// elevated, the product really installed here, an unknown case or no case table.
//
// It runs on somebody's test machine. The tests write the product's keys under
// HKEY_LOCAL_MACHINE and delete what they wrote, so the runner refuses to run where the product
// is installed, rather than save its keys and put them back: a run cut short (a crash, a closed
// window, a reboot) would leave a real installation's run list consumed and its entry changed,
// which nothing could then put back. After the run it checks that everything the tests make is
// gone again, removes what is left and counts each as a failure.

#include <windows.h>

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/InstallerNames.h"
#include "support/TestPaths.h"

namespace {

const char kCaseTable[] = "cases.txt";
// The scratch key under which the tests write what steps import.
const char kScratchKey[] = "SOFTWARE\\FinishInstallTests";
// What the tests' scratch folders under the temporary folder begin with.
const char kScratchPrefix[] = "fi-";
const REGSAM kViews[] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};
const DWORD kListLimitMs = 60000;

enum Status { kRan = 0, kFailed = 1, kRefused = 2 };

// One line of cases.txt: name, program, time limit in seconds, what it needs of the machine
// ("-", "double-byte" or "no-display"), and the program's arguments, tab-separated.
struct TestCase {
    std::string name;
    std::string program;
    DWORD dwLimitSeconds = 0;
    std::string needs;
    std::string arguments;
};

struct Counts {
    int passed = 0;
    int failed = 0;
    int skipped = 0;
};

std::string BundleDir()
{
    char szPath[MAX_PATH];
    const DWORD cch = GetModuleFileNameA(NULL, szPath, MAX_PATH);
    std::string path(szPath, cch < MAX_PATH ? cch : 0);
    return path.substr(0, path.find_last_of('\\'));
}

// Elevated as Windows means it: the Administrators group is in the token for use, not only for
// denying, as it is in the token a member gets without elevation.
bool IsElevated()
{
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID pAdministrators = NULL;
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                  DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &pAdministrators))
        return false;
    BOOL bMember = FALSE;
    if (!CheckTokenMembership(NULL, pAdministrators, &bMember))
        bMember = FALSE;
    FreeSid(pAdministrators);
    return bMember != FALSE;
}

// On 32-bit Windows there is one view, and the view flags are ignored.
bool KeyExists(const char* pszPath, REGSAM samView)
{
    HKEY hKey = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, pszPath, 0, KEY_READ | samView, &hKey) != ERROR_SUCCESS)
        return false;
    RegCloseKey(hKey);
    return true;
}

const char* ViewName(REGSAM samView)
{
    return samView == KEY_WOW64_32KEY ? "32-bit view" : "64-bit view";
}

bool FolderExists(const std::string& path)
{
    const DWORD dwAttributes = GetFileAttributesA(path.c_str());
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string TempDir()
{
    char szTemp[MAX_PATH] = "";
    const DWORD cch = GetTempPathA(MAX_PATH, szTemp);
    std::string dir(szTemp, cch < MAX_PATH ? cch : 0);
    if (!dir.empty() && dir.back() == '\\')
        dir.pop_back();
    return dir;
}

// The drive of the temporary folder, where the tests plant programs at the root.
std::string ScratchDrive()
{
    return TempDir().substr(0, 2);
}

std::vector<std::string> ScratchFolders()
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA((TempDir() + "\\" + kScratchPrefix + "*").c_str(), &fd);
    if (hFind != INVALID_HANDLE_VALUE) {
        do
            names.push_back(TempDir() + "\\" + fd.cFileName);
        while (FindNextFileA(hFind, &fd));
        FindClose(hFind);
    }
    return names;
}

// What the tests make and remove again, as it was before the run, so that after it what they
// left is known and only that is removed.
class CMachineState {
public:
    CMachineState()
    {
        for (REGSAM samView : kViews)
            m_bScratchKey.push_back(KeyExists(kScratchKey, samView));
        for (const char* pszName : {"\\Setup", "\\bin"})
            m_bRootFolder.push_back(FolderExists(ScratchDrive() + pszName));
        m_scratchFolders = ScratchFolders();
    }

    // What the run left: named, removed, and counted.
    int RemoveLeftovers() const
    {
        int nLeft = 0;
        for (size_t i = 0; i < 2; ++i) {
            const REGSAM samView = kViews[i];
            for (const char* pszKey :
                 {installer::kProductKey, installer::kDisplayKey, kScratchKey}) {
                const bool bOurs = pszKey != kScratchKey || !m_bScratchKey[i];
                if (!bOurs || !KeyExists(pszKey, samView))
                    continue;
                printf("left behind: HKEY_LOCAL_MACHINE\\%s (%s), removed\n", pszKey,
                       ViewName(samView));
                DeleteKeyInView(pszKey, samView);
                ++nLeft;
            }
        }
        const char* const names[] = {"\\Setup", "\\bin"};
        for (size_t i = 0; i < 2; ++i) {
            const std::string folder = ScratchDrive() + names[i];
            if (m_bRootFolder[i] || !FolderExists(folder))
                continue;
            printf("left behind: %s, removed\n", folder.c_str());
            RemoveScratchDir(folder);
            ++nLeft;
        }
        for (const std::string& folder : ScratchFolders()) {
            bool bBefore = false;
            for (const std::string& old : m_scratchFolders)
                bBefore = bBefore || old == folder;
            if (bBefore)
                continue;
            printf("left behind: %s, removed\n", folder.c_str());
            RemoveScratchDir(folder);
            ++nLeft;
        }
        return nLeft;
    }

private:
    static void DeleteKeyInView(const char* pszPath, REGSAM samView)
    {
        HKEY hKey = NULL;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, pszPath, 0, KEY_ALL_ACCESS | samView, &hKey) ==
            ERROR_SUCCESS) {
            RegDeleteTreeA(hKey, NULL);
            RegCloseKey(hKey);
        }
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, pszPath, samView, 0);
    }

    std::vector<bool> m_bScratchKey;
    std::vector<bool> m_bRootFolder;
    std::vector<std::string> m_scratchFolders;
};

bool ReadCases(const std::string& path, std::vector<TestCase>* pCases)
{
    std::ifstream in(path.c_str());
    if (!in)
        return false;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        std::vector<std::string> fields;
        std::istringstream split(line);
        std::string field;
        while (fields.size() < 4 && std::getline(split, field, '\t'))
            fields.push_back(field);
        std::getline(split, field);
        if (fields.size() < 4)
            return false;
        TestCase testCase;
        testCase.name = fields[0];
        testCase.program = fields[1];
        testCase.dwLimitSeconds = strtoul(fields[2].c_str(), NULL, 10);
        testCase.needs = fields[3];
        testCase.arguments = split ? field : std::string();
        pCases->push_back(testCase);
    }
    return !pCases->empty();
}

// Runs the program with its output in outputPath; false when it could not be started. A program
// still running after its limit is ended (the tests' own watchdog normally ends a hung test
// first, with everything it started).
bool Run(const std::string& program, const std::string& arguments, const std::string& outputPath,
         DWORD dwLimitMs, DWORD* pdwExitCode, bool* pbHung)
{
    *pbHung = false;
    SECURITY_ATTRIBUTES sa = {sizeof sa, NULL, TRUE};
    HANDLE hOutput =
        CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hOutput == INVALID_HANDLE_VALUE)
        return false;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = hOutput;
    si.hStdError = hOutput;
    std::string commandLine = "\"" + program + "\" " + arguments;
    PROCESS_INFORMATION pi = {};
    const BOOL bCreated = CreateProcessA(program.c_str(), &commandLine[0], NULL, NULL, TRUE, 0,
                                         NULL, BundleDir().c_str(), &si, &pi);
    CloseHandle(hOutput);
    if (!bCreated)
        return false;
    if (WaitForSingleObject(pi.hProcess, dwLimitMs) == WAIT_TIMEOUT) {
        *pbHung = true;
        TerminateProcess(pi.hProcess, 1);
        WaitForSingleObject(pi.hProcess, 10000);
    }
    GetExitCodeProcess(pi.hProcess, pdwExitCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// The count in GoogleTest's summary line for a tag ("[  PASSED  ] 12 tests.", "[  FAILED  ] 1
// test, listed below:"), or -1 without one. A line for one case has its name after the tag.
int SummaryCount(const std::vector<std::string>& lines, const char* pszTag)
{
    const size_t cchTag = strlen(pszTag);
    for (const std::string& line : lines) {
        if (line.compare(0, cchTag, pszTag) == 0 && line.size() > cchTag &&
            isdigit(static_cast<unsigned char>(line[cchTag])))
            return atoi(line.c_str() + cchTag);
    }
    return -1;
}

bool Ends(const std::string& text, const char* pszEnd)
{
    const size_t cch = strlen(pszEnd);
    return text.size() >= cch && text.compare(text.size() - cch, cch, pszEnd) == 0;
}

// How many test cases the program runs under the case's filter, as --gtest_list_tests shows them
// (a suite's name, then its cases indented); -1 when the list could not be had.
int ListedCount(const TestCase& testCase, const std::string& dir)
{
    const std::string output = dir + "\\" + testCase.name + ".list";
    DWORD dwExitCode = 0;
    bool bHung = false;
    if (!Run(dir + "\\" + testCase.program, testCase.arguments + " --gtest_list_tests", output,
             kListLimitMs, &dwExitCode, &bHung) ||
        bHung || dwExitCode != 0)
        return -1;
    // A disabled case is listed but not run: its name, or its suite's, begins with DISABLED_.
    const char kDisabled[] = "DISABLED_";
    int nListed = 0;
    bool bSuiteDisabled = false;
    for (const std::string& line : Lines(ReadFileText(output))) {
        if (line.compare(0, 2, "  ") != 0)
            bSuiteDisabled = line.compare(0, strlen(kDisabled), kDisabled) == 0;
        else if (!bSuiteDisabled && line.compare(2, strlen(kDisabled), kDisabled) != 0)
            ++nListed;
    }
    DeleteFileA(output.c_str());
    return nListed;
}

// Why the machine cannot give what the case needs, or "" where it can. A double-byte code page
// is the system locale's, which takes a restart to change. A case that needs no display finds
// out itself whether this machine can show it a window (Windows always can), so it always runs.
std::string MissingNeed(const TestCase& testCase)
{
    if (testCase.needs == "double-byte") {
        CPINFO info = {};
        if (!GetCPInfo(CP_ACP, &info) || info.MaxCharSize < 2) {
            char szWhy[160];
            snprintf(szWhy, sizeof szWhy,
                     "the system code page, %u, is not a double-byte one (a Japanese, Chinese or "
                     "Korean system locale gives one)",
                     GetACP());
            return szWhy;
        }
    }
    return std::string();
}

// Runs one case and prints its line; its counts are added to pTotal.
void RunCase(const TestCase& testCase, const std::string& dir, Counts* pTotal)
{
    const int nListed = ListedCount(testCase, dir);
    const std::string missing = MissingNeed(testCase);
    if (!missing.empty()) {
        const int nSkipped = nListed > 0 ? nListed : 1;
        printf("%s: %d skipped: %s\n", testCase.name.c_str(), nSkipped, missing.c_str());
        pTotal->skipped += nSkipped;
        return;
    }

    const std::string log = dir + "\\" + testCase.name + ".log";
    const std::string arguments = "--gtest_color=no --gtest_output=xml:\"" + dir + "\\" +
                                  testCase.name + ".xml\" " + testCase.arguments;
    const DWORD dwStart = GetTickCount();
    DWORD dwExitCode = 0;
    bool bHung = false;
    const bool bStarted = Run(dir + "\\" + testCase.program, arguments, log,
                              testCase.dwLimitSeconds * 1000, &dwExitCode, &bHung);
    const DWORD dwSeconds = (GetTickCount() - dwStart + 500) / 1000;

    const std::string text = ReadFileText(log);
    const std::vector<std::string> lines = Lines(text);
    Counts counts;
    counts.passed = SummaryCount(lines, "[  PASSED  ] ");
    counts.failed = SummaryCount(lines, "[  FAILED  ] ");
    counts.skipped = SummaryCount(lines, "[  SKIPPED ] ");
    counts.failed = counts.failed < 0 ? 0 : counts.failed;
    counts.skipped = counts.skipped < 0 ? 0 : counts.skipped;
    std::string problem;
    if (!bStarted)
        problem = "could not be started";
    else if (bHung)
        problem = "did not end within its limit and was ended";
    else if (counts.passed < 0)
        problem = "ended before GoogleTest's summary, exit code " + std::to_string(dwExitCode);
    else if (nListed >= 0 && counts.passed + counts.failed + counts.skipped != nListed)
        problem = "ran " + std::to_string(counts.passed + counts.failed + counts.skipped) +
                  " of its " + std::to_string(nListed) + " cases";
    else if ((dwExitCode == 0) != (counts.failed == 0))
        problem = "exit code " + std::to_string(dwExitCode) + " does not match its failures";
    counts.passed = counts.passed < 0 ? 0 : counts.passed;
    if (!problem.empty() && counts.failed == 0)
        counts.failed = 1;

    printf("%s: %d passed, %d failed, %d skipped, %lu s%s%s\n", testCase.name.c_str(),
           counts.passed, counts.failed, counts.skipped, dwSeconds, problem.empty() ? "" : "; ",
           problem.c_str());
    // GoogleTest writes a skip as "file:line: Skipped" with its reason on the next line.
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        if (Ends(lines[i], ": Skipped"))
            printf("  skipped: %s\n", lines[i + 1].c_str());
    }
    if (counts.failed != 0)
        printf("  its output: %s\n", log.c_str());
    pTotal->passed += counts.passed;
    pTotal->failed += counts.failed;
    pTotal->skipped += counts.skipped;
}

} // namespace

int main(int argc, char** argv)
{
    // The lines go to a file or a console as they are made, not when the run ends.
    setvbuf(stdout, NULL, _IONBF, 0);
    // Some tests crash a step's program on purpose. On an interactive desktop Windows would hold
    // each crashed process for a "stopped working" dialog that nobody answers; the mode is
    // inherited by the tests and everything they start.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    if (!IsElevated()) {
        printf("run-tests: must run elevated: start it from a command prompt opened with \"Run "
               "as administrator\" (the tests write HKEY_LOCAL_MACHINE)\n");
        return kRefused;
    }
    for (REGSAM samView : kViews) {
        for (const char* pszKey : {installer::kProductKey, installer::kDisplayKey}) {
            if (KeyExists(pszKey, samView)) {
                printf("run-tests: not run: the product is installed on this machine "
                       "(HKEY_LOCAL_MACHINE\\%s, %s), and the tests would consume its run list "
                       "and change its entries; run them on a machine without it\n",
                       pszKey, ViewName(samView));
                return kRefused;
            }
        }
    }
    const std::string dir = BundleDir();
    std::vector<TestCase> all;
    if (!ReadCases(dir + "\\" + kCaseTable, &all)) {
        printf("run-tests: no case table %s\\%s\n", dir.c_str(), kCaseTable);
        return kRefused;
    }
    const char kProgramOption[] = "--program=";
    std::string programOption;
    int iFirstCase = 1;
    if (argc > 1 && strncmp(argv[1], kProgramOption, sizeof kProgramOption - 1) == 0) {
        // Full, since the cases run in folders of their own.
        const char* pszProgram = argv[1] + sizeof kProgramOption - 1;
        char szFull[MAX_PATH];
        const DWORD cchFull = GetFullPathNameA(pszProgram, MAX_PATH, szFull, NULL);
        const DWORD dwAttributes = cchFull > 0 && cchFull < MAX_PATH ? GetFileAttributesA(szFull)
                                                                     : INVALID_FILE_ATTRIBUTES;
        if (dwAttributes == INVALID_FILE_ATTRIBUTES ||
            (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            printf("run-tests: --program: no program %s\n", pszProgram);
            return kRefused;
        }
        printf("run-tests: the program under test is %s\n", szFull);
        programOption = std::string(" \"") + kProgramOption + szFull + "\"";
        iFirstCase = 2;
    }
    for (TestCase& testCase : all)
        testCase.arguments += programOption;
    std::vector<TestCase> chosen;
    for (int i = iFirstCase; i < argc; ++i) {
        bool bFound = false;
        for (const TestCase& testCase : all) {
            if (testCase.name == argv[i]) {
                chosen.push_back(testCase);
                bFound = true;
            }
        }
        if (!bFound) {
            printf("run-tests: no case named %s in %s\n", argv[i], kCaseTable);
            return kRefused;
        }
    }
    if (chosen.empty())
        chosen = all;

    const CMachineState before;
    Counts total;
    for (const TestCase& testCase : chosen)
        RunCase(testCase, dir, &total);
    total.failed += before.RemoveLeftovers();
    printf("%d passed, %d failed, %d skipped\n", total.passed, total.failed, total.skipped);
    return total.failed == 0 ? kRan : kFailed;
}
