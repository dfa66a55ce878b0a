#include "manifest/CRegImportStep.h"

CRegImportStep::CRegImportStep(const CString& strKeyName) : CInstallStep(strKeyName) {}

CRegImportStep::~CRegImportStep() {}

BOOL CRegImportStep::Load(HKEY hKey)
{
    if (!CInstallStep::Load(hKey))
        return FALSE;
    // The base made the command the file's expanded path in quotes; its "parameters" value
    // plays no part in an import.
    const CString strParameters = "/s " + m_strCommand;
    m_strCommand = "regedit.exe";
    m_strParameters = strParameters;

    // The child still sees "regedit.exe" as its first word, but the program started is the
    // Windows folder's: the platform's search would look in this program's folder and the
    // current directory first, where anyone could have put a regedit.exe of their own.
    char szWindowsDir[MAX_PATH];
    const UINT cchWindowsDir = ::GetWindowsDirectoryA(szWindowsDir, MAX_PATH);
    if (cchWindowsDir != 0 && cchWindowsDir < MAX_PATH)
        m_strApplicationName = CString(szWindowsDir) + "\\regedit.exe";
    return TRUE;
}
