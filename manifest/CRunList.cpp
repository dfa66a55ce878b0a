#include "manifest/CRunList.h"

#include <mbstring.h>
#include <string.h>

#include "framework/CString.h"
#include "framework/CTrace.h"
#include "manifest/CRegImportStep.h"
#include "manifest/CRegKey.h"
#include "manifest/InstallLocation.h"
#include "manifest/RegistryNames.h"

namespace {

// A start that holds the guard lets go within milliseconds, a few seconds where it makes the
// window's lines of a long run list on a slow machine.
const DWORD kGuardWaitMilliseconds = 5000;

CString GetManifestKeyPath()
{
    return CString(kProductUninstallKey) + kManifestSubKey;
}

bool IsType(const char* pszType, const char* pszWanted)
{
    return _mbscmp(reinterpret_cast<const unsigned char*>(pszType),
                   reinterpret_cast<const unsigned char*>(pszWanted)) == 0;
}

// Reads one of the run list's own values; a value that cannot be read leaves an empty text.
LONG ReadOrEmpty(const CRegKey& key, const char* pszValueName, char* pszBuffer, DWORD cbBuffer)
{
    const LONG lResult = key.QueryStringValue(pszValueName, pszBuffer, cbBuffer);
    if (lResult != ERROR_SUCCESS)
        pszBuffer[0] = '\0';
    return lResult;
}

void TraceValue(const char* pszValueName, LONG lResult, const char* pszText)
{
    if (lResult == ERROR_SUCCESS)
        CTrace::Line("%s \"%s\"", pszValueName, pszText);
    else
        CTrace::Line("%s not read (error %ld)", pszValueName, lResult);
}

} // namespace

CRunList::CRunList()
    : m_nSteps(0), m_bHasTitle(false), m_bLeftToAnotherStart(false), m_bNotOpenedToRead(false),
      m_bNotOpenedToDelete(false), m_bNoInstallLocation(false)
{
    m_szDisplayName[0] = '\0';
    m_szDisplayIcon[0] = '\0';
}

void CRunList::LoadManifest()
{
    CRegKey manifestKey;
    const CString strPath = GetManifestKeyPath();
    m_bHasTitle = false;
    m_strTitle.Empty();
    m_bNoInstallLocation = false;
    m_bLeftToAnotherStart = !m_guard.Take(kGuardWaitMilliseconds);
    const LONG lOpen = manifestKey.Open(HKEY_LOCAL_MACHINE, strPath, KEY_READ);
    if (m_bLeftToAnotherStart) {
        // Nothing of the list is this start's, but the file the installer looks in for what
        // went wrong still hears why nothing ran (where the other start does not hold it open).
        if (lOpen == ERROR_SUCCESS)
            OpenTraceFile(manifestKey);
        CTrace::Line("no steps, the window closes");
        return;
    }
    m_bNotOpenedToRead = lOpen != ERROR_SUCCESS;
    if (m_bNotOpenedToRead) {
        CTrace::Line("run list HKLM\\%s cannot be opened (error %ld): no steps, the window closes",
                     static_cast<const char*>(strPath), lOpen);
        return;
    }
    CTrace::Line("run list HKLM\\%s opened", static_cast<const char*>(strPath));

    char szTitle[kValueSize];
    const LONG lTitle = manifestKey.QueryStringValue(kTitleValue, szTitle, kValueSize);
    TraceValue(kTitleValue, lTitle, szTitle);
    m_bHasTitle = lTitle == ERROR_SUCCESS;
    if (m_bHasTitle)
        m_strTitle = szTitle;
    TraceValue(kDisplayNameValue,
               ReadOrEmpty(manifestKey, kDisplayNameValue, m_szDisplayName, sizeof m_szDisplayName),
               m_szDisplayName);
    TraceValue(kDisplayIconValue,
               ReadOrEmpty(manifestKey, kDisplayIconValue, m_szDisplayIcon, sizeof m_szDisplayIcon),
               m_szDisplayIcon);
    OpenTraceFile(manifestKey);

    m_nSteps = 0;
    char szKeyName[kValueSize];
    DWORD dwIndex = 0;
    for (; m_nSteps < kMaxSteps; ++dwIndex) {
        const LONG lResult = manifestKey.EnumKey(dwIndex, szKeyName, kValueSize);
        // A name too long for the buffer cannot be opened by that name: pass it over.
        if (lResult == ERROR_MORE_DATA) {
            CTrace::Line("subkey %lu passed over: its name is too long", dwIndex);
            continue;
        }
        if (lResult != ERROR_SUCCESS)
            break;
        LoadStep(manifestKey, szKeyName);
    }
    if (m_nSteps == kMaxSteps &&
        manifestKey.EnumKey(dwIndex, szKeyName, kValueSize) != ERROR_NO_MORE_ITEMS)
        CTrace::Line("capacity of %u steps reached: later subkeys are left for a later start",
                     kMaxSteps);
    CTrace::Line("%u steps loaded", m_nSteps);
}

// The placeholders are those of a step's command, put in place in the same order. Without an
// install location the path starts at the root of the current drive, and is refused as one that
// is not full.
void CRunList::OpenTraceFile(const CRegKey& manifestKey)
{
    char szValue[kValueSize];
    TraceValue(kTraceFileValue, ReadOrEmpty(manifestKey, kTraceFileValue, szValue, kValueSize),
               szValue);
    CString strPath = szValue;
    if (strstr(strPath, kInstallDirToken) != NULL || strstr(strPath, kSetupDirToken) != NULL) {
        const CString strLocation = GetInstallLocation();
        strPath.Replace(kInstallDirToken, strLocation);
        strPath.Replace(kSetupDirToken, strLocation + kSetupDirSuffix);
    }
    CTrace::AppendToFile(strPath);
}

void CRunList::LoadStep(HKEY hManifestKey, const char* pszKeyName)
{
    CRegKey stepKey;
    const LONG lOpen = stepKey.Open(hManifestKey, pszKeyName, KEY_READ);
    if (lOpen != ERROR_SUCCESS) {
        CTrace::Line("subkey \"%s\" passed over: cannot be opened (error %ld)", pszKeyName, lOpen);
        return;
    }

    char szType[kValueSize];
    ReadOrEmpty(stepKey, kTypeValue, szType, kValueSize);
    CInstallStep* pStep = NULL;
    if (IsType(szType, kExecutableType))
        pStep = new CInstallStep(pszKeyName);
    else if (IsType(szType, kRegImportType))
        pStep = new CRegImportStep(pszKeyName);
    if (pStep == NULL) {
        CTrace::Line("subkey \"%s\" passed over: type \"%s\" not recognised", pszKeyName, szType);
        return;
    }
    CTrace::Line("subkey \"%s\" is step %u, of type %s", pszKeyName, m_nSteps, szType);

    m_steps[m_nSteps] = pStep;
    // A step whose Load fails is still shown, run and deleted, like any other.
    pStep->Load(stepKey);
    if (pStep->LacksInstallLocation())
        m_bNoInstallLocation = true;
    ++m_nSteps;
}

void CRunList::WriteDisplayValues()
{
    CRegKey displayKey;
    const LONG lOpen = displayKey.Open(HKEY_LOCAL_MACHINE, kDisplayKey, KEY_WRITE);
    if (lOpen != ERROR_SUCCESS) {
        CTrace::Line("display key HKLM\\%s cannot be opened (error %ld): nothing written",
                     kDisplayKey, lOpen);
        return;
    }
    // The writes are best effort: a failure leaves the installer's own values in place.
    WriteDisplayValue(displayKey, kDisplayNameValue, m_szDisplayName);
    WriteDisplayValue(displayKey, kDisplayIconValue, m_szDisplayIcon);
}

void CRunList::WriteDisplayValue(CRegKey& displayKey, const char* pszValueName,
                                 const char* pszValue)
{
    if (pszValue[0] == '\0') {
        CTrace::Line("%s empty: not written", pszValueName);
        return;
    }
    const LONG lResult = displayKey.SetStringValue(pszValueName, pszValue);
    if (lResult == ERROR_SUCCESS)
        CTrace::Line("%s written to the display key", pszValueName);
    else
        CTrace::Line("%s not written (error %ld)", pszValueName, lResult);
}

void CRunList::DeleteStepKeys()
{
    DeleteLoadedSubkeys();
    // The run list is consumed, or left as it is: another start may now find what remains.
    m_guard.Release();
}

void CRunList::DeleteLoadedSubkeys()
{
    CRegKey manifestKey;
    const LONG lOpen = manifestKey.Open(HKEY_LOCAL_MACHINE, GetManifestKeyPath(), KEY_WRITE);
    m_bNotOpenedToDelete = lOpen != ERROR_SUCCESS;
    if (m_bNotOpenedToDelete) {
        CTrace::Line("run list cannot be opened for deleting (error %ld): nothing deleted, the "
                     "window closes",
                     lOpen);
        return;
    }
    // A subkey that cannot be deleted stays; the steps run all the same.
    for (UINT i = 0; i < m_nSteps; ++i) {
        const CString strKeyName = m_steps[i]->GetKeyName();
        const LONG lResult = manifestKey.DeleteSubKey(strKeyName);
        if (lResult == ERROR_SUCCESS)
            CTrace::Line("subkey \"%s\" deleted", static_cast<const char*>(strKeyName));
        else
            CTrace::Line("subkey \"%s\" not deleted (error %ld)",
                         static_cast<const char*>(strKeyName), lResult);
    }
}

void CRunList::RunAllSteps()
{
    for (UINT i = 0; i < m_nSteps; ++i)
        m_steps[i]->Run();
}

void CRunList::FreeSteps()
{
    for (UINT i = 0; i < m_nSteps; ++i)
        delete m_steps[i];
    m_nSteps = 0;
}
