#pragma once

#include <windows.h>

class CFont;

// A device context borrowed for the length of a call: it releases nothing. The classes that
// acquire a device context (CPaintDC, CClientDC) derive from it and release what they got.
class CDC {
public:
    explicit CDC(HDC hDC = NULL) : m_hDC(hDC) {}

    HDC GetSafeHdc() const { return m_hDC; }
    operator HDC() const { return m_hDC; }

    // Returns the font that was selected before.
    HFONT SelectObject(CFont* pFont);
    COLORREF SetTextColor(COLORREF color) { return ::SetTextColor(m_hDC, color); }
    int SetBkMode(int nBkMode) { return ::SetBkMode(m_hDC, nBkMode); }
    BOOL DrawIcon(int x, int y, HICON hIcon) { return ::DrawIcon(m_hDC, x, y, hIcon); }
    // The platform's packed result: width in the low word, height in the high word.
    DWORD GetTabbedTextExtent(const char* pszText, int nCount, int nTabPositions,
                              const INT* pnTabStopPositions) const
    {
        return ::GetTabbedTextExtentA(m_hDC, pszText, nCount, nTabPositions, pnTabStopPositions);
    }

    HDC m_hDC;
};
