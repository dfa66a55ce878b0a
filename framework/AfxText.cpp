#include "framework/AfxText.h"

DWORD AfxWholeCharactersLength(const char* pch, DWORD cch)
{
    const BYTE* pb = reinterpret_cast<const BYTE*>(pch);
    if (::GetACP() == CP_UTF8) {
        // Back over the continuation bytes (10xxxxxx) to the last character's first byte, whose
        // high bits tell how long that character is; a character has at most three of them.
        DWORD iFirst = cch;
        while (iFirst > 0 && cch - iFirst < 3 && (pb[iFirst - 1] & 0xC0) == 0x80)
            --iFirst;
        if (iFirst == 0)
            return cch;
        const BYTE bFirst = pb[--iFirst];
        const DWORD cbChar = bFirst >= 0xF0 ? 4 : bFirst >= 0xE0 ? 3 : bFirst >= 0xC0 ? 2 : 1;
        return iFirst + cbChar > cch ? iFirst : cch;
    }
    for (DWORD i = 0; i < cch; ++i) {
        if (::IsDBCSLeadByte(pb[i]) && ++i == cch)
            return cch - 1;
    }
    return cch;
}
