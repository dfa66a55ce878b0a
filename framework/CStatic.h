#pragma once

#include "framework/CWnd.h"

// A static text control, created as a child of another window.
class CStatic : public CWnd {
public:
    BOOL Create(const char* pszText, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd,
                UINT nID = 0xffff);
};
