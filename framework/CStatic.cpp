#include "framework/CStatic.h"

#include "framework/CWinApp.h"

BOOL CStatic::Create(const char* pszText, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd,
                     UINT nID)
{
    HWND hWnd = ::CreateWindowExA(
        0, "STATIC", pszText, dwStyle, rect.left, rect.top, rect.right - rect.left,
        rect.bottom - rect.top, pParentWnd != NULL ? pParentWnd->GetSafeHwnd() : NULL,
        reinterpret_cast<HMENU>(static_cast<UINT_PTR>(nID)), AfxGetInstanceHandle(), NULL);
    if (hWnd == NULL)
        return FALSE;
    if (!SubclassWindow(hWnd)) {
        ::DestroyWindow(hWnd);
        return FALSE;
    }
    return TRUE;
}
