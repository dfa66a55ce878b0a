#include "support/InstalledProduct.h"

#include <windows.h>

#include "support/Figures.h"

namespace {

// Longer than any step program a test starts runs.
const DWORD kProbesEndMs = 15000;

} // namespace

void InstalledProductTest::SetUp()
{
    RegistryTest::SetUp();
    m_dir = MakeScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    m_setupDir = m_dir + "\\Setup";
    ASSERT_TRUE(CreateDirectoryA(m_setupDir.c_str(), NULL)) << m_setupDir;
    m_record = m_dir + "\\record.txt";
    ResetProgramKeys();
}

void InstalledProductTest::TearDown()
{
    ReportFigure();
    SetEnvironmentVariableA("CHILDPROBE_RECORD", NULL);
    RegistryTest::TearDown();
    // A step the dialog was ended during runs on to its end, in this test's folder.
    WaitForProbesToEnd(kProbesEndMs);
    RemoveScratchDir(m_dir);
}

void InstalledProductTest::ResetProgramKeys()
{
    RemoveProgramKeys();
    SetInstallLocation(m_dir);
    CreateKey(ManifestKeyPath());
    CreateKey(DisplayKeyPath());
}

void InstalledProductTest::WriteProbeStep(const std::string& name, const std::string& extra,
                                          const char* pszText)
{
    WriteStep(name, "executable", ProbePath().c_str(), ProbeArguments(m_record, extra).c_str(),
              pszText);
}
