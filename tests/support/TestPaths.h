#pragma once

#include <string>
#include <vector>

// Where the test programs and their helpers are, and scratch folders for a test's files.
std::string TestBinaryDir(); // the folder of the running test executable
std::string ProbePath();     // childprobe.exe beside it
std::string ProgramPath();   // --program's, else the built FinishInstall.exe, one folder up
// Waits, at most dwLimitMs in all, for every childprobe.exe still running to end: a step's
// program that runs on after its test holds that test's folder and writes into it.
void WaitForProbesToEnd(unsigned long dwLimitMs);
std::string MakeScratchDir(const char* pszName); // a new, empty folder under the temp folder
void RemoveScratchDir(const std::string& dir);   // that folder and everything in it
std::string ReadFileText(const std::string& path);
void WriteFileText(const std::string& path, const std::string& text);
bool FileExists(const std::string& path);
// Text between UTF-8 and the platform's UTF-16, for checks that must see every character.
std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& text);

// Programs planted at the root of a drive, where any user may write: a "\Setup" folder with a
// tool in it and "\bin\tool.exe", both copies of childprobe.exe. Removed again at the end.
// Planted only where neither folder exists yet: AlreadyThere tells.
class CPlantedRoot {
public:
    explicit CPlantedRoot(const std::string& drive);
    ~CPlantedRoot();
    CPlantedRoot(const CPlantedRoot&) = delete;
    CPlantedRoot& operator=(const CPlantedRoot&) = delete;

    bool Planted() const { return m_bPlanted; }
    // A folder of the machine's own was in the way, and nothing was planted.
    bool AlreadyThere() const { return !m_bMadeSetup || !m_bMadeBin; }

private:
    std::string m_drive;
    bool m_bPlanted;
    bool m_bMadeSetup;
    bool m_bMadeBin;
};

// One start of childprobe.exe as its --record file tells it.
struct ProbeRun {
    unsigned long long start = 0; // system time, 100 ns units
    unsigned long long end = 0;   // 0 when it has not ended (or crashed before)
    std::string currentDir;
    std::string commandLine;
};
std::vector<ProbeRun> ReadProbeRuns(const std::string& recordPath);
// A command line that starts childprobe.exe with these arguments and records into recordPath.
std::string ProbeArguments(const std::string& recordPath, const std::string& extra = "");
