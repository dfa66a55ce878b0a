#pragma once

#include <windows.h>

// Owns one open registry key and closes it on destruction.
class CRegKey {
public:
    CRegKey() : m_hKey(NULL) {}
    ~CRegKey() { Close(); }

    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;

    // Opens an existing key (never creates one).
    LONG Open(HKEY hKeyParent, const char* pszKeyName, REGSAM samDesired);
    void Close();

    // Reads a value as 8-bit text into a buffer of cbBuffer bytes, which is also the size
    // handed to the read. On success the text ends NUL-terminated within the buffer whatever
    // the value holds (no terminating NUL, binary data): data that fills the buffer without one
    // gives up its last character to it. On failure the buffer holds nothing to rely on.
    static LONG QueryStringValue(HKEY hKey, const char* pszValueName, char* pszBuffer,
                                 DWORD cbBuffer);
    LONG QueryStringValue(const char* pszValueName, char* pszBuffer, DWORD cbBuffer) const
    {
        return QueryStringValue(m_hKey, pszValueName, pszBuffer, cbBuffer);
    }
    // Writes REG_SZ, the length counting the terminating NUL.
    LONG SetStringValue(const char* pszValueName, const char* pszValue);
    LONG DeleteSubKey(const char* pszSubKey) { return ::RegDeleteKeyA(m_hKey, pszSubKey); }
    // The name of the subkey at dwIndex, into a buffer of cchName characters.
    LONG EnumKey(DWORD dwIndex, char* pszName, DWORD cchName) const;

    operator HKEY() const { return m_hKey; }

private:
    HKEY m_hKey;
};
