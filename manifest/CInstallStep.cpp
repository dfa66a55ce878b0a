#include "manifest/CInstallStep.h"

#include <stdlib.h>
#include <string.h>

#include "manifest/CRegKey.h"
#include "manifest/InstallLocation.h"
#include "manifest/RegistryNames.h"

namespace {

// The longest command line the platform accepts is 32767 characters; the buffer is twice that
// so that a line the platform refuses is refused by the platform, not cut here.
const size_t kCommandLineSize = 65536;
const DWORD kPollMilliseconds = 1000;

// Both tokens are looked up afresh, the second over the result of the first, so an install
// location that itself holds the setup-directory token has it replaced as well.
void ExpandPlaceholders(CString& strText)
{
    strText.Replace(kInstallDirToken, GetInstallLocation());
    strText.Replace(kSetupDirToken, GetSetupDir());
}

} // namespace

CInstallStep::CInstallStep(const CString& strKeyName)
    : m_bWait(1), m_nTimeout(0), m_dwCreationFlags(0), m_strKeyName(strKeyName)
{
    ZeroMemory(&m_pi, sizeof m_pi);
    // A step whose Load stops early is still run, so it gets a valid start-up record now.
    ResetStartupInfo();
}

CInstallStep::~CInstallStep() {}

BOOL CInstallStep::Load(HKEY hKey)
{
    char szValue[kValueSize];

    if (CRegKey::QueryStringValue(hKey, kCommandValue, szValue, kValueSize) == ERROR_SUCCESS) {
        m_strCommand = szValue;
        if (m_strCommand.IsEmpty())
            return FALSE;
        ExpandPlaceholders(m_strCommand);
        m_strCommand = "\"" + m_strCommand + "\"";
    }
    if (CRegKey::QueryStringValue(hKey, kParametersValue, szValue, kValueSize) == ERROR_SUCCESS) {
        m_strParameters = szValue;
        ExpandPlaceholders(m_strParameters);
    }
    if (CRegKey::QueryStringValue(hKey, kTimeoutValue, szValue, kValueSize) == ERROR_SUCCESS)
        m_nTimeout = atol(szValue);
    if (CRegKey::QueryStringValue(hKey, kTextValue, szValue, kValueSize) == ERROR_SUCCESS)
        m_strText = szValue;

    ResetStartupInfo();
    m_dwCreationFlags = 0;
    m_strWorkingDir = GetSetupDir();
    return TRUE;
}

DWORD CInstallStep::Run()
{
    // The platform may write into the command line, so it gets a buffer of its own; a line
    // that does not fit is not cut short but not started at all.
    const CString strCommandLine = ComposeCommandLine();
    char szCommandLine[kCommandLineSize];
    if (static_cast<size_t>(strCommandLine.GetLength()) + 1 > sizeof szCommandLine)
        return STILL_ACTIVE;
    memcpy(szCommandLine, static_cast<const char*>(strCommandLine), strCommandLine.GetLength() + 1);

    ZeroMemory(&m_pi, sizeof m_pi);
    const char* pszApplicationName =
        m_strApplicationName.IsEmpty() ? NULL : static_cast<const char*>(m_strApplicationName);
    if (!::CreateProcessA(pszApplicationName, szCommandLine, NULL, NULL, FALSE, m_dwCreationFlags,
                          NULL, m_strWorkingDir, &m_si, &m_pi))
        return STILL_ACTIVE;

    const DWORD dwExitCode = m_bWait == 1 ? WaitForExit() : STILL_ACTIVE;
    ::CloseHandle(m_pi.hThread);
    ::CloseHandle(m_pi.hProcess);
    m_pi.hThread = NULL;
    m_pi.hProcess = NULL;
    return dwExitCode;
}

void CInstallStep::ResetStartupInfo()
{
    ZeroMemory(&m_si, sizeof m_si);
    m_si.cb = sizeof m_si;
}

// Looks once a second, as installers' own programs expect no faster polling. The exit code
// alone cannot tell a running child from one that returned STILL_ACTIVE, so a signalled
// process handle also ends the wait.
DWORD CInstallStep::WaitForExit() const
{
    DWORD dwExitCode = STILL_ACTIVE;
    for (;;) {
        ::Sleep(kPollMilliseconds);
        if (!::GetExitCodeProcess(m_pi.hProcess, &dwExitCode))
            dwExitCode = STILL_ACTIVE;
        if (dwExitCode != STILL_ACTIVE)
            return dwExitCode;
        if (::WaitForSingleObject(m_pi.hProcess, 0) != WAIT_TIMEOUT)
            return dwExitCode;
    }
}
