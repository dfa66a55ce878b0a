#pragma once

#include <windows.h>

#include <stdint.h>

#include <string>
#include <vector>

#include "soak/SeededRandom.h"

// One registry value as the generator wrote it. Its bytes are exactly what the registry holds:
// text values are handed over so that the platform counts no terminating NUL the data left out,
// and are whole UTF-8 characters, which the code page takes to UTF-16 and back unchanged.
struct WrittenValue {
    std::string name;
    DWORD dwType;
    std::string data;
};

// One subkey under the run list and the values written into it.
struct WrittenStep {
    std::string keyName;
    std::vector<WrittenValue> values;
};

// A run list as the generator left it in the registry.
struct WrittenRunList {
    uint64_t seed = 0;
    bool bManifestKey = false;
    bool bDisplayKey = false;
    std::vector<WrittenValue> manifestValues;
    std::vector<WrittenStep> steps;
    // Steps that start a program when they run, loaded or not. Every other step names a program
    // that does not exist, or runs in a setup folder that does not exist.
    int nLaunchingSteps = 0;
};

enum StepKind { kNoStep, kExecutableStep, kRegImportStep };

// A value looked up as the registry looks names up, ignoring case; NULL when absent.
const WrittenValue* FindValue(const std::vector<WrittenValue>& values, const char* pszName);
// The text that an 8-bit read of a value into a buffer of cbBuffer bytes gives. The read fails
// (false) for an absent value or one larger than the buffer; otherwise the text is the bytes up to
// the first NUL, and a value that fills the buffer without a NUL gives up its last byte to one.
bool ReadAsText(const WrittenValue* pValue, DWORD cbBuffer, std::string* pText);
// The step a subkey makes: its "type" read into the run list's 4095-byte buffer and compared
// with the two words exactly.
StepKind KindAsRead(const WrittenStep& step);

// Writes random run lists into the real registry, each named by a seed: the product's entry
// with its install location, the run list with up to 1000 step subkeys, and the installer's
// display key, all full of the values no careful installer writes.
class RunListGenerator {
public:
    // probePath is childprobe.exe, the one program a step may start on purpose; locationDir is
    // an existing folder holding a "Setup" folder, the install location of the run lists whose
    // steps can start programs. Text is UTF-8, the code page the soak and the runner share, and
    // holds characters that no ANSI code page has.
    RunListGenerator(const std::string& probePath, const std::string& locationDir);

    // Removes the program's keys and writes the run list of this seed.
    WrittenRunList Write(uint64_t seed);

private:
    enum Role { kAnyText, kCommand, kParameters, kTimeout };

    void WriteProductKey();
    void WriteDisplayKey(WrittenRunList* pList);
    void WriteManifest(HKEY hManifestKey, WrittenRunList* pList);
    void WriteStep(HKEY hManifestKey, WrittenRunList* pList);
    bool CreateUniqueSubkey(HKEY hParent, std::string* pName, HKEY* phKey);

    WrittenValue RandomValue(const char* pszName, Role role);
    WrittenValue RandomType();
    WrittenValue RandomInstallLocation();
    std::string RandomContent(Role role, size_t cbLength);
    std::string RandomText(size_t cbLength);
    std::string RandomPlaceholders(size_t cchLength);
    std::string RandomKeyName();
    std::string RandomValueName(const char* pszName);
    size_t RandomLength();
    void Terminate(DWORD dwType, std::string* pData);
    void MakeLaunchSafe(Role role, std::string* pData) const;
    static void KeepWholeCharacters(std::string* pData);
    bool Launches(const WrittenStep& step, bool bProbe) const;
    void Put(HKEY hKey, const WrittenValue& value, std::vector<WrittenValue>* pValues);

    std::string m_probePath;
    std::string m_locationDir;

    // For the run list being written.
    SeededRandom m_random;
    bool m_bSetupDirExists;
    size_t m_nStepPercent; // how often a step's "type" is one of the two words, as written
    bool m_bEveryStepTyped;
    int m_nLaunchBudget;
    size_t m_cbBudget;
};
