#include "support/TestPaths.h"

#include <windows.h>

#include <tlhelp32.h>

#include <fstream>
#include <sstream>

#include "support/InstallerNames.h"
#include "support/TestOptions.h"

std::string TestBinaryDir()
{
    char szPath[MAX_PATH];
    DWORD cch = GetModuleFileNameA(NULL, szPath, MAX_PATH);
    std::string path(szPath, cch);
    return path.substr(0, path.find_last_of('\\'));
}

std::string ProbePath()
{
    return TestBinaryDir() + "\\childprobe.exe";
}

// The one --program names; else beside the tests in the test bundle, one folder up in the build
// folder.
std::string ProgramPath()
{
    if (!ProgramUnderTest().empty())
        return ProgramUnderTest();
    const std::string dir = TestBinaryDir();
    const std::string beside = dir + "\\" + installer::kProgramFileName;
    if (GetFileAttributesA(beside.c_str()) != INVALID_FILE_ATTRIBUTES)
        return beside;
    return dir.substr(0, dir.find_last_of('\\')) + "\\" + installer::kProgramFileName;
}

void WaitForProbesToEnd(DWORD dwLimitMs)
{
    const DWORD dwStart = GetTickCount();
    HANDLE hSnapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (hSnapshot == INVALID_HANDLE_VALUE)
        return;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL bMore = Process32First(hSnapshot, &entry); bMore;
         bMore = Process32Next(hSnapshot, &entry)) {
        if (lstrcmpiA(entry.szExeFile, "childprobe.exe") != 0)
            continue;
        HANDLE hProcess = OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID);
        if (hProcess == NULL)
            continue;
        const DWORD dwSpent = GetTickCount() - dwStart;
        WaitForSingleObject(hProcess, dwSpent < dwLimitMs ? dwLimitMs - dwSpent : 0);
        CloseHandle(hProcess);
    }
    CloseHandle(hSnapshot);
}

namespace {

// Through the wide-character functions, so that names no code page holds go as well.
void DeleteTree(const std::wstring& dir)
{
    WIN32_FIND_DATAW fd;
    HANDLE hFind = FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (hFind != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring path = dir + L"\\" + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                DeleteTree(path);
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(hFind, &fd));
        FindClose(hFind);
    }
    RemoveDirectoryW(dir.c_str());
}

void DeleteTree(const std::string& dir)
{
    WCHAR szDir[MAX_PATH] = L"";
    if (MultiByteToWideChar(CP_ACP, 0, dir.c_str(), -1, szDir, MAX_PATH) > 0)
        DeleteTree(std::wstring(szDir));
}

} // namespace

std::string MakeScratchDir(const char* pszName)
{
    char szTemp[MAX_PATH];
    GetTempPathA(MAX_PATH, szTemp);
    std::string dir = std::string(szTemp) + "fi-" + pszName;
    DeleteTree(dir);
    CreateDirectoryA(dir.c_str(), NULL);
    return dir;
}

// A program that has just ended may hold its files a moment longer through what the platform
// started for it (Wine's console host for a console program ends after it): the folder is
// tried again for a few seconds, so that no test leaves one behind.
void RemoveScratchDir(const std::string& dir)
{
    const int kTries = 50;
    const DWORD kPauseMs = 100;
    for (int i = 0; i < kTries; ++i) {
        DeleteTree(dir);
        if (GetFileAttributesA(dir.c_str()) == INVALID_FILE_ATTRIBUTES)
            return;
        Sleep(kPauseMs);
    }
}

std::string ReadFileText(const std::string& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFileText(const std::string& path, const std::string& text)
{
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out << text;
}

std::wstring Wide(const std::string& utf8)
{
    std::wstring text(utf8.size(), L'\0');
    const int cch = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                        &text[0], static_cast<int>(text.size()));
    text.resize(cch > 0 ? cch : 0);
    return text;
}

std::string Utf8(const std::wstring& text)
{
    std::string utf8(text.size() * 4, '\0');
    const int cb = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       &utf8[0], static_cast<int>(utf8.size()), NULL, NULL);
    utf8.resize(cb > 0 ? cb : 0);
    return utf8;
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The folders are made new or not at all: on somebody's machine a \bin of their own, with a
// tool.exe in it, must be neither overwritten nor removed.
CPlantedRoot::CPlantedRoot(const std::string& drive)
    : m_drive(drive), m_bPlanted(false), m_bMadeSetup(false), m_bMadeBin(false)
{
    m_bMadeSetup = CreateDirectoryA((m_drive + "\\Setup").c_str(), NULL) != FALSE;
    m_bMadeBin = CreateDirectoryA((m_drive + "\\bin").c_str(), NULL) != FALSE;
    m_bPlanted = m_bMadeSetup && m_bMadeBin &&
                 CopyFileA(ProbePath().c_str(), (m_drive + "\\Setup\\tool.exe").c_str(), TRUE) &&
                 CopyFileA(ProbePath().c_str(), (m_drive + "\\bin\\tool.exe").c_str(), TRUE);
}

CPlantedRoot::~CPlantedRoot()
{
    if (m_bMadeSetup) {
        DeleteFileA((m_drive + "\\Setup\\tool.exe").c_str());
        RemoveDirectoryA((m_drive + "\\Setup").c_str());
    }
    if (m_bMadeBin) {
        DeleteFileA((m_drive + "\\bin\\tool.exe").c_str());
        RemoveDirectoryA((m_drive + "\\bin").c_str());
    }
}

std::vector<ProbeRun> ReadProbeRuns(const std::string& recordPath)
{
    std::vector<ProbeRun> runs;
    std::istringstream in(ReadFileText(recordPath));
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, 6, "start\t") == 0) {
            ProbeRun run;
            const size_t tab1 = line.find('\t', 6);
            const size_t tab2 = line.find('\t', tab1 + 1);
            run.start = std::stoull(line.substr(6, tab1 - 6));
            run.currentDir = line.substr(tab1 + 1, tab2 - tab1 - 1);
            run.commandLine = line.substr(tab2 + 1);
            runs.push_back(run);
        } else if (line.compare(0, 4, "end\t") == 0 && !runs.empty()) {
            runs.back().end = std::stoull(line.substr(4));
        }
    }
    return runs;
}

std::string ProbeArguments(const std::string& recordPath, const std::string& extra)
{
    std::string arguments = "--record \"" + recordPath + "\"";
    if (!extra.empty())
        arguments += " " + extra;
    return arguments;
}
