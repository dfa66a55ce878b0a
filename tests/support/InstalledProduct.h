#pragma once

#include <string>
#include <vector>

#include "support/TestPaths.h"
#include "support/TestRegistry.h"

// A product installed in a scratch folder named after the running test: the folder is the
// install location, with an empty Setup folder in it; the product's entry, an empty run list and
// the installer's display key are written; steps launch childprobe.exe, which records its starts
// in a file in the folder. The folder and the keys go after the test, and a figure the test
// claimed is reported then.
class InstalledProductTest : public RegistryTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Removes the program's keys and writes them again as SetUp left them.
    void ResetProgramKeys();
    // A step starting childprobe.exe with these arguments of its own, recording into m_record.
    void WriteProbeStep(const std::string& name, const std::string& extra = "",
                        const char* pszText = NULL);
    std::vector<ProbeRun> ProbeRuns() const { return ReadProbeRuns(m_record); }

    std::string m_dir;      // the install location
    std::string m_setupDir; // its Setup folder, where steps run
    std::string m_record;   // childprobe.exe's record of its starts
};
