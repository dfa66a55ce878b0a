#include "framework/CString.h"

#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include "framework/AfxMemory.h"

namespace {

// The longest text a string holds: its length and the NUL after it are counted in an int.
const int kMaxLength = INT_MAX - 1;

// The code page's lead bytes, from its one description rather than a question per byte.
void MarkLeadBytes(UINT nCodePage, bool leadBytes[256])
{
    CPINFO info;
    if (!::GetCPInfo(nCodePage, &info) || info.MaxCharSize < 2)
        return;
    for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2) {
        for (int b = info.LeadByte[i]; b <= info.LeadByte[i + 1]; ++b)
            leadBytes[b] = true;
    }
}

} // namespace

CString::CString() : m_pchData(NULL), m_nLength(0), m_nCapacity(0) {}

CString::CString(const char* psz) : m_pchData(NULL), m_nLength(0), m_nCapacity(0)
{
    if (psz != NULL)
        Assign(psz, static_cast<int>(strlen(psz)));
}

CString::CString(const CString& other) : m_pchData(NULL), m_nLength(0), m_nCapacity(0)
{
    Assign(other, other.m_nLength);
}

CString::~CString()
{
    free(m_pchData);
}

CString& CString::operator=(const CString& other)
{
    if (this != &other)
        Assign(other, other.m_nLength);
    return *this;
}

CString& CString::operator=(const char* psz)
{
    if (psz == NULL)
        psz = "";
    // psz may point into our own buffer; copy through a temporary in that case.
    if (m_pchData != NULL && psz >= m_pchData && psz <= m_pchData + m_nLength)
        return *this = CString(psz);
    Assign(psz, static_cast<int>(strlen(psz)));
    return *this;
}

CString& CString::operator+=(const CString& other)
{
    if (this == &other)
        return *this += CString(other);
    Append(other, other.m_nLength);
    return *this;
}

CString& CString::operator+=(const char* psz)
{
    if (psz != NULL)
        *this += CString(psz);
    return *this;
}

void CString::Empty()
{
    free(m_pchData);
    m_pchData = NULL;
    m_nLength = 0;
    m_nCapacity = 0;
}

int CString::Compare(const char* psz) const
{
    return strcmp(*this, psz != NULL ? psz : "");
}

int CString::Replace(const char* pszOld, const char* pszNew, UINT nCodePage)
{
    const int nOldLength = pszOld != NULL ? static_cast<int>(strlen(pszOld)) : 0;
    if (nOldLength == 0 || m_nLength == 0)
        return 0;
    if (pszNew == NULL)
        pszNew = "";
    const int nNewLength = static_cast<int>(strlen(pszNew));
    const char* pch = *this;
    // Most texts hold no token at all: then no byte sequence matches either, and the walk over
    // the characters is not needed.
    if (strstr(pch, pszOld) == NULL)
        return 0;
    bool leadBytes[256] = {};
    MarkLeadBytes(nCodePage, leadBytes);

    CString result;
    int nStart = 0; // first byte not yet copied into result
    int nReplaced = 0;
    for (int i = 0; i < m_nLength;) {
        if (i + nOldLength <= m_nLength && memcmp(pch + i, pszOld, nOldLength) == 0) {
            result.Append(pch + nStart, i - nStart);
            result.Append(pszNew, nNewLength);
            i += nOldLength;
            nStart = i;
            ++nReplaced;
        } else if (leadBytes[static_cast<BYTE>(pch[i])] && i + 1 < m_nLength) {
            i += 2;
        } else {
            ++i;
        }
    }
    if (nReplaced != 0) {
        result.Append(pch + nStart, m_nLength - nStart);
        *this = result;
    }
    return nReplaced;
}

char* CString::GetBuffer(int nMinLength)
{
    if (nMinLength < m_nLength)
        nMinLength = m_nLength;
    Reserve(nMinLength);
    return m_pchData;
}

void CString::ReleaseBuffer(int nNewLength)
{
    if (m_pchData == NULL)
        return;
    if (nNewLength < 0 || nNewLength > m_nCapacity)
        nNewLength = static_cast<int>(strnlen(m_pchData, m_nCapacity));
    m_nLength = nNewLength;
    m_pchData[m_nLength] = '\0';
}

void CString::Assign(const char* pch, int nLength)
{
    m_nLength = 0;
    // Append writes nothing for an empty text, so the old text must end here.
    if (m_pchData != NULL)
        m_pchData[0] = '\0';
    Append(pch, nLength);
}

void CString::Append(const char* pch, int nLength)
{
    if (nLength <= 0)
        return;
    if (nLength > kMaxLength - m_nLength) {
        AfxEndForLackOfMemory();
        return;
    }
    Reserve(m_nLength + nLength);
    memcpy(m_pchData + m_nLength, pch, nLength);
    m_nLength += nLength;
    m_pchData[m_nLength] = '\0';
}

// Grows the buffer to hold nLength characters and the NUL. Growth doubles, so appending one
// piece after another stays linear. Text that cannot be held ends the process: a string that
// silently lost text could become a command line that starts something else.
void CString::Reserve(int nLength)
{
    if (m_pchData != NULL && nLength <= m_nCapacity)
        return;
    if (nLength > kMaxLength) {
        AfxEndForLackOfMemory();
        return;
    }
    int nCapacity = m_nCapacity <= kMaxLength / 2 ? m_nCapacity * 2 : kMaxLength;
    if (nCapacity < nLength)
        nCapacity = nLength;
    char* pchNew = static_cast<char*>(realloc(m_pchData, static_cast<size_t>(nCapacity) + 1));
    if (pchNew == NULL) {
        AfxEndForLackOfMemory();
        return;
    }
    if (m_pchData == NULL)
        pchNew[0] = '\0';
    m_pchData = pchNew;
    m_nCapacity = nCapacity;
}

CString operator+(const CString& left, const CString& right)
{
    CString result(left);
    result += right;
    return result;
}

CString operator+(const CString& left, const char* right)
{
    CString result(left);
    result += right;
    return result;
}

CString operator+(const char* left, const CString& right)
{
    CString result(left);
    result += right;
    return result;
}
