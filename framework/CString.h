#pragma once

#include <windows.h>

// The program's 8-bit string: text in the system's ANSI code page, NUL-terminated, owning its
// buffer. An empty string converts to "" and never to a null pointer, so it can be handed to any
// API that takes a string. Text is never dropped: when memory for it runs out (or its length
// would pass what an int counts) the process ends with STATUS_NO_MEMORY, as operator new ends it.
class CString {
public:
    CString();
    CString(const char* psz);
    CString(const CString& other);
    ~CString();

    CString& operator=(const CString& other);
    CString& operator=(const char* psz);
    CString& operator+=(const CString& other);
    CString& operator+=(const char* psz);

    // Makes the string empty and gives its buffer back.
    void Empty();

    int GetLength() const { return m_nLength; }
    bool IsEmpty() const { return m_nLength == 0; }
    operator const char*() const { return m_pchData ? m_pchData : ""; }

    // Byte-wise comparison, as strcmp: < 0, 0 or > 0.
    int Compare(const char* psz) const;

    // Replaces every occurrence of pszOld with pszNew, left to right, exact and case-sensitive.
    // The inserted text is not searched again. Double-byte characters of the code page are
    // stepped over whole, so a match never starts on a trail byte. Returns the number replaced.
    int Replace(const char* pszOld, const char* pszNew, UINT nCodePage = CP_ACP);

    // Room for nMinLength characters and the NUL, never NULL; ReleaseBuffer takes the length
    // back (up to the first NUL when nNewLength is -1).
    char* GetBuffer(int nMinLength);
    void ReleaseBuffer(int nNewLength = -1);

private:
    void Assign(const char* pch, int nLength);
    void Append(const char* pch, int nLength);
    void Reserve(int nLength);

    char* m_pchData;
    int m_nLength;
    int m_nCapacity;
};

CString operator+(const CString& left, const CString& right);
CString operator+(const CString& left, const char* right);
CString operator+(const char* left, const CString& right);

inline bool operator==(const CString& left, const char* right)
{
    return left.Compare(right) == 0;
}
inline bool operator!=(const CString& left, const char* right)
{
    return left.Compare(right) != 0;
}
inline bool operator<(const CString& left, const char* right)
{
    return left.Compare(right) < 0;
}
