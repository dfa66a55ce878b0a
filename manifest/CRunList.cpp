#include "manifest/CRunList.h"

#include <mbstring.h>

#include "framework/CString.h"
#include "manifest/CRegImportStep.h"
#include "manifest/CRegKey.h"
#include "manifest/RegistryNames.h"

namespace {

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
void ReadOrEmpty(const CRegKey& key, const char* pszValueName, char* pszBuffer, DWORD cbBuffer)
{
    if (key.QueryStringValue(pszValueName, pszBuffer, cbBuffer) != ERROR_SUCCESS)
        pszBuffer[0] = '\0';
}

} // namespace

CRunList::CRunList() : m_nSteps(0), m_hWndOwner(NULL)
{
    m_szDisplayName[0] = '\0';
    m_szDisplayIcon[0] = '\0';
}

void CRunList::LoadManifest()
{
    CRegKey manifestKey;
    if (manifestKey.Open(HKEY_LOCAL_MACHINE, GetManifestKeyPath(), KEY_READ) != ERROR_SUCCESS) {
        RequestClose();
        return;
    }

    char szTitle[kValueSize];
    // Without a readable "Title" the window keeps the caption it was made with.
    if (manifestKey.QueryStringValue(kTitleValue, szTitle, kValueSize) == ERROR_SUCCESS &&
        m_hWndOwner != NULL)
        ::SetWindowTextA(m_hWndOwner, szTitle);
    ReadOrEmpty(manifestKey, kDisplayNameValue, m_szDisplayName, sizeof m_szDisplayName);
    ReadOrEmpty(manifestKey, kDisplayIconValue, m_szDisplayIcon, sizeof m_szDisplayIcon);

    m_nSteps = 0;
    char szKeyName[kValueSize];
    for (DWORD dwIndex = 0; m_nSteps < kMaxSteps; ++dwIndex) {
        const LONG lResult = manifestKey.EnumKey(dwIndex, szKeyName, kValueSize);
        // A name too long for the buffer cannot be opened by that name: pass it over.
        if (lResult == ERROR_MORE_DATA)
            continue;
        if (lResult != ERROR_SUCCESS)
            break;
        LoadStep(manifestKey, szKeyName);
    }
}

void CRunList::LoadStep(HKEY hManifestKey, const char* pszKeyName)
{
    CRegKey stepKey;
    if (stepKey.Open(hManifestKey, pszKeyName, KEY_READ) != ERROR_SUCCESS)
        return;

    char szType[kValueSize];
    ReadOrEmpty(stepKey, kTypeValue, szType, kValueSize);
    CInstallStep* pStep = NULL;
    if (IsType(szType, kExecutableType))
        pStep = new CInstallStep(pszKeyName);
    else if (IsType(szType, kRegImportType))
        pStep = new CRegImportStep(pszKeyName);
    if (pStep == NULL)
        return;

    m_steps[m_nSteps] = pStep;
    // A step whose Load fails is still shown, run and deleted, like any other.
    pStep->Load(stepKey);
    ++m_nSteps;
}

void CRunList::WriteDisplayValues()
{
    CRegKey displayKey;
    if (displayKey.Open(HKEY_LOCAL_MACHINE, kDisplayKey, KEY_WRITE) != ERROR_SUCCESS)
        return;
    // The writes are best effort: a failure leaves the installer's own values in place.
    if (m_szDisplayName[0] != '\0')
        displayKey.SetStringValue(kDisplayNameValue, m_szDisplayName);
    if (m_szDisplayIcon[0] != '\0')
        displayKey.SetStringValue(kDisplayIconValue, m_szDisplayIcon);
}

void CRunList::DeleteStepKeys()
{
    CRegKey manifestKey;
    if (manifestKey.Open(HKEY_LOCAL_MACHINE, GetManifestKeyPath(), KEY_WRITE) != ERROR_SUCCESS) {
        RequestClose();
        return;
    }
    // A subkey that cannot be deleted stays; the steps run all the same.
    for (UINT i = 0; i < m_nSteps; ++i)
        manifestKey.DeleteSubKey(m_steps[i]->GetKeyName());
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

void CRunList::RequestClose() const
{
    if (m_hWndOwner != NULL)
        ::PostMessageA(m_hWndOwner, WM_CLOSE, 0, 0);
}
