#include "manifest/CRegKey.h"

#include <string.h>

#include "framework/AfxText.h"

LONG CRegKey::Open(HKEY hKeyParent, const char* pszKeyName, REGSAM samDesired)
{
    Close();
    return ::RegOpenKeyExA(hKeyParent, pszKeyName, 0, samDesired, &m_hKey);
}

void CRegKey::Close()
{
    if (m_hKey != NULL) {
        ::RegCloseKey(m_hKey);
        m_hKey = NULL;
    }
}

LONG CRegKey::QueryStringValue(HKEY hKey, const char* pszValueName, char* pszBuffer, DWORD cbBuffer)
{
    DWORD cbData = cbBuffer;
    const LONG lResult = ::RegQueryValueExA(hKey, pszValueName, NULL, NULL,
                                            reinterpret_cast<BYTE*>(pszBuffer), &cbData);
    if (lResult != ERROR_SUCCESS || cbBuffer == 0)
        return lResult;
    // The type is not looked at, so the data need not end in a NUL: terminate it after the
    // data, or, when the data fills the buffer, on its last byte and whatever part of a
    // character goes with it.
    if (cbData > cbBuffer)
        cbData = cbBuffer;
    if (cbData == 0)
        pszBuffer[0] = '\0';
    else if (pszBuffer[cbData - 1] != '\0')
        pszBuffer[cbData < cbBuffer ? cbData : AfxWholeCharactersLength(pszBuffer, cbBuffer - 1)] =
            '\0';
    return ERROR_SUCCESS;
}

LONG CRegKey::SetStringValue(const char* pszValueName, const char* pszValue)
{
    return ::RegSetValueExA(m_hKey, pszValueName, 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(pszValue),
                            static_cast<DWORD>(strlen(pszValue) + 1));
}

LONG CRegKey::EnumKey(DWORD dwIndex, char* pszName, DWORD cchName) const
{
    return ::RegEnumKeyExA(m_hKey, dwIndex, pszName, &cchName, NULL, NULL, NULL, NULL);
}
