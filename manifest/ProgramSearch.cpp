#include "manifest/ProgramSearch.h"

#include <string.h>

#include <windows.h>

namespace {

bool IsSeparator(char ch)
{
    return ch == '\\' || ch == '/';
}

bool IsDriveLetter(char ch)
{
    return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z');
}

// Whether the last part of the path has an extension. A double-byte character whose second
// byte reads as a backslash may hide one: the name then gets ".exe" and is simply not found.
bool HasExtension(const char* pszPath)
{
    const char* pszDot = strrchr(pszPath, '.');
    if (pszDot == NULL)
        return false;
    for (const char* p = pszDot + 1; *p != '\0'; ++p) {
        if (IsSeparator(*p))
            return false;
    }
    return true;
}

bool IsFile(const CString& strPath)
{
    const DWORD dwAttributes = ::GetFileAttributesA(strPath);
    return dwAttributes != INVALID_FILE_ATTRIBUTES &&
           (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

CString GetSystemFolder()
{
    char szDir[MAX_PATH];
    const UINT cchSystem = ::GetSystemDirectoryA(szDir, MAX_PATH);
    return cchSystem != 0 && cchSystem < MAX_PATH ? CString(szDir) : CString();
}

} // namespace

bool IsFullPath(const char* pszPath)
{
    if (IsSeparator(pszPath[0]))
        return IsSeparator(pszPath[1]);
    return IsDriveLetter(pszPath[0]) && pszPath[1] == ':' && IsSeparator(pszPath[2]);
}

CString FindStepProgram(const CString& strCommand, const CString& strSetupDir)
{
    if (strCommand.IsEmpty())
        return CString();
    CString strName = strCommand;
    if (!HasExtension(strName))
        strName += ".exe";
    const CString folders[] = {strSetupDir, GetSystemFolder()};
    for (const CString& strFolder : folders) {
        if (strFolder.IsEmpty())
            continue;
        const CString strPath = strFolder + "\\" + strName;
        if (IsFile(strPath))
            return strPath;
    }
    return CString();
}
