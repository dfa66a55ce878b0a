#include "manifest/CInstallStep.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "framework/CHandle.h"
#include "framework/CTrace.h"
#include "manifest/CRegKey.h"
#include "manifest/InstallLocation.h"
#include "manifest/ProgramSearch.h"
#include "manifest/RegistryNames.h"

namespace {

// The longest command line the platform accepts is 32767 characters; the buffer is twice that
// so that a line the platform refuses is refused by the platform, not cut here.
const size_t kCommandLineSize = 65536;
const DWORD kPollMilliseconds = 1000;

// The longest command line the buffer holds. Text beyond it is never started, and expanding
// it further would be costly: an install location full of tokens multiplies every token of a
// 4 KiB value, to megabytes a step.
const int kMaxCommandLineLength = static_cast<int>(kCommandLineSize) - 1;

} // namespace

CInstallStep::CInstallStep(const CString& strKeyName)
    : m_bWait(1), m_nTimeout(0), m_dwCreationFlags(0), m_strKeyName(strKeyName),
      m_bNoInstallLocation(false)
{
    ZeroMemory(&m_pi, sizeof m_pi);
    // A step whose Load stops early is still run, so it gets a valid start-up record now.
    ResetStartupInfo();
}

CInstallStep::~CInstallStep() {}

BOOL CInstallStep::Load(HKEY hKey)
{
    char szValue[kValueSize];
    m_bNoInstallLocation = false;

    if (CRegKey::QueryStringValue(hKey, kCommandValue, szValue, kValueSize) == ERROR_SUCCESS) {
        m_strCommand = szValue;
        if (m_strCommand.IsEmpty())
            return FALSE;
        Expand(m_strCommand);
        m_strProgram = m_strCommand;
        m_strCommand = "\"" + m_strCommand + "\"";
    }
    if (CRegKey::QueryStringValue(hKey, kParametersValue, szValue, kValueSize) == ERROR_SUCCESS) {
        m_strParameters = szValue;
        Expand(m_strParameters);
    }
    if (CRegKey::QueryStringValue(hKey, kTimeoutValue, szValue, kValueSize) == ERROR_SUCCESS)
        m_nTimeout = atol(szValue);
    if (CRegKey::QueryStringValue(hKey, kTextValue, szValue, kValueSize) == ERROR_SUCCESS)
        m_strText = szValue;

    ResetStartupInfo();
    m_dwCreationFlags = 0;
    m_strWorkingDir = ReadSetupDir();
    return TRUE;
}

DWORD CInstallStep::Run()
{
    const char* pszKeyName = m_strKeyName;
    if (!m_strRefusal.IsEmpty()) {
        CTrace::Line("step \"%s\" not launched: %s", pszKeyName,
                     static_cast<const char*>(m_strRefusal));
        return STILL_ACTIVE;
    }
    CString strApplicationName;
    CString strCommandLine;
    if (!ResolveProgram(&strApplicationName, &strCommandLine))
        return STILL_ACTIVE;
    // The platform may write into the command line, so it gets a buffer of its own; a line
    // that does not fit is not cut short but not started at all.
    CTrace::Line("step \"%s\" command line: %s", pszKeyName,
                 static_cast<const char*>(strCommandLine));
    CTrace::Line("step \"%s\" working directory: %s", pszKeyName,
                 static_cast<const char*>(m_strWorkingDir));
    char szCommandLine[kCommandLineSize];
    if (static_cast<size_t>(strCommandLine.GetLength()) + 1 > sizeof szCommandLine) {
        CTrace::Line("step \"%s\" not launched: its command line of %d characters is too long",
                     pszKeyName, strCommandLine.GetLength());
        return STILL_ACTIVE;
    }
    memcpy(szCommandLine, static_cast<const char*>(strCommandLine), strCommandLine.GetLength() + 1);

    ZeroMemory(&m_pi, sizeof m_pi);
    const char* pszApplicationName =
        strApplicationName.IsEmpty() ? NULL : static_cast<const char*>(strApplicationName);
    if (!::CreateProcessA(pszApplicationName, szCommandLine, NULL, NULL, FALSE, m_dwCreationFlags,
                          NULL, m_strWorkingDir, &m_si, &m_pi)) {
        const DWORD dwError = ::GetLastError();
        char szError[256];
        CTrace::Line("step \"%s\" not launched: error %lu (%s)", pszKeyName, dwError,
                     CTrace::ErrorText(dwError, szError, sizeof szError));
        return STILL_ACTIVE;
    }
    // The owners close both handles when the step is done with, the thread's first; the record
    // keeps the ids only, so that nothing holds a handle once closed.
    const CHandle process(m_pi.hProcess);
    const CHandle thread(m_pi.hThread);
    m_pi.hProcess = NULL;
    m_pi.hThread = NULL;
    CTrace::Line("step \"%s\" launched, process id %lu", pszKeyName, m_pi.dwProcessId);

    const DWORD dwStart = ::GetTickCount();
    const DWORD dwExitCode = m_bWait == 1 ? WaitForExit(process) : STILL_ACTIVE;
    CTrace::Line("step \"%s\" ended with exit code %lu after %lu s", pszKeyName, dwExitCode,
                 (::GetTickCount() - dwStart + 500) / 1000);
    return dwExitCode;
}

// Looked for as the step starts, not as it loads, so that a program an earlier step put in the
// setup directory is found.
bool CInstallStep::ResolveProgram(CString* pstrApplicationName, CString* pstrCommandLine) const
{
    *pstrApplicationName = m_strApplicationName;
    *pstrCommandLine = ComposeCommandLine();
    if (!m_strApplicationName.IsEmpty() || IsFullPath(m_strProgram))
        return true;
    const char* pszKeyName = m_strKeyName;
    if (m_strProgram.IsEmpty()) {
        CTrace::Line("step \"%s\" not launched: it has no command", pszKeyName);
        return false;
    }
    *pstrApplicationName = FindStepProgram(m_strProgram, m_strWorkingDir);
    if (pstrApplicationName->IsEmpty()) {
        CTrace::Line("step \"%s\" not launched: \"%s\" is not a full path and is in neither the "
                     "setup directory nor the system folder",
                     pszKeyName, static_cast<const char*>(m_strProgram));
        return false;
    }
    CTrace::Line("step \"%s\" program \"%s\" found as %s", pszKeyName,
                 static_cast<const char*>(m_strProgram),
                 static_cast<const char*>(*pstrApplicationName));
    *pstrCommandLine = "\"" + *pstrApplicationName + "\" " + m_strParameters;
    return true;
}

// Both tokens are looked up afresh, the second over the result of the first, so an install
// location that itself holds the setup-directory token has it replaced as well.
void CInstallStep::Expand(CString& strField)
{
    strField.Replace(kInstallDirToken, ReadInstallLocation());
    if (strField.GetLength() <= kMaxCommandLineLength)
        strField.Replace(kSetupDirToken, ReadSetupDir());
    if (strField.GetLength() <= kMaxCommandLineLength)
        return;
    CTrace::Line("step \"%s\": a value expands beyond %d characters; the step will not be "
                 "launched",
                 static_cast<const char*>(m_strKeyName), kMaxCommandLineLength);
    strField.Empty();
    char szRefusal[64];
    _snprintf(szRefusal, sizeof szRefusal, "its command line expands beyond %d characters",
              kMaxCommandLineLength);
    szRefusal[sizeof szRefusal - 1] = '\0';
    m_strRefusal = szRefusal;
}

CString CInstallStep::ReadInstallLocation()
{
    const CString strLocation = GetInstallLocation();
    if (strLocation.IsEmpty())
        m_bNoInstallLocation = true;
    return strLocation;
}

CString CInstallStep::ReadSetupDir()
{
    const CString strSetupDir = GetSetupDir();
    // Nothing before "\Setup": the look-up found no install location.
    if (strSetupDir == kSetupDirSuffix)
        m_bNoInstallLocation = true;
    return strSetupDir;
}

void CInstallStep::ResetStartupInfo()
{
    ZeroMemory(&m_si, sizeof m_si);
    m_si.cb = sizeof m_si;
}

// Looks once a second, as installers' own programs expect no faster polling. The exit code
// alone cannot tell a running child from one that returned STILL_ACTIVE, so a signalled
// process handle also ends the wait.
DWORD CInstallStep::WaitForExit(HANDLE hProcess)
{
    DWORD dwExitCode = STILL_ACTIVE;
    for (;;) {
        ::Sleep(kPollMilliseconds);
        if (!::GetExitCodeProcess(hProcess, &dwExitCode))
            dwExitCode = STILL_ACTIVE;
        if (dwExitCode != STILL_ACTIVE)
            return dwExitCode;
        if (::WaitForSingleObject(hProcess, 0) != WAIT_TIMEOUT)
            return dwExitCode;
    }
}
