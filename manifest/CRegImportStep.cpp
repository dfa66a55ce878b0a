#include "manifest/CRegImportStep.h"

namespace {

const char kRegistryEditor[] = "regedit.exe";

// The registry editor the platform's own search finds first, less the two places anyone may
// write to: this program's folder and the current directory. So the system directory's editor
// when there is one: for a 32-bit program on 64-bit Windows that is SysWOW64 (the file system
// redirector maps the name), whose editor imports into the 32-bit view, the one the run list was
// written in and the product reads. Otherwise the Windows folder's, taken from
// GetSystemWindowsDirectoryA: under Remote Desktop Services GetWindowsDirectoryA answers a
// per-user folder to a program not marked as aware of it, and this one is not.
CString FindRegistryEditor()
{
    char szDir[MAX_PATH];
    const UINT cchSystem = ::GetSystemDirectoryA(szDir, MAX_PATH);
    if (cchSystem != 0 && cchSystem < MAX_PATH) {
        const CString strEditor = CString(szDir) + "\\" + kRegistryEditor;
        if (::GetFileAttributesA(strEditor) != INVALID_FILE_ATTRIBUTES)
            return strEditor;
    }
    const UINT cchWindows = ::GetSystemWindowsDirectoryA(szDir, MAX_PATH);
    if (cchWindows != 0 && cchWindows < MAX_PATH)
        return CString(szDir) + "\\" + kRegistryEditor;
    return CString();
}

} // namespace

CRegImportStep::CRegImportStep(const CString& strKeyName) : CInstallStep(strKeyName) {}

BOOL CRegImportStep::Load(HKEY hKey)
{
    if (!CInstallStep::Load(hKey))
        return FALSE;
    // The base made the command the file's expanded path in quotes; its "parameters" value
    // plays no part in an import.
    const CString strParameters = "/s " + m_strCommand;
    m_strCommand = kRegistryEditor;
    m_strParameters = strParameters;

    // The child still sees "regedit.exe" as its first word; the program started is named in
    // full, so that the platform's search never looks where a planted editor could be.
    m_strApplicationName = FindRegistryEditor();
    if (m_strApplicationName.IsEmpty())
        m_strRefusal = "no system folder to find the registry editor in";
    return TRUE;
}
