#pragma once

#include <windows.h>

#include "framework/AfxMsgMap.h"
#include "framework/CString.h"

// A window object attached to one HWND. Messages reach the object through AfxWndProc, which
// the window is subclassed with, and then the object's message map; what no entry takes goes
// to the window's original procedure. A parent hands a child's colour request back to the
// child's object first ("reflection"), and runs its own handling only when the child declines.
class CWnd {
public:
    CWnd();
    virtual ~CWnd();

    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    // The object attached to a window of this process, or NULL.
    static CWnd* FromHandlePermanent(HWND hWnd);

    // Attaches to an existing window and routes its messages through the message map.
    BOOL SubclassWindow(HWND hWnd);
    BOOL DestroyWindow();

    void SetWindowText(const char* pszText) { ::SetWindowTextA(m_hWnd, pszText); }
    void GetWindowText(CString& strText) const;
    DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtrA(m_hWnd, GWL_STYLE)); }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::PostMessageA(m_hWnd, message, wParam, lParam);
    }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }
    BOOL SetWindowPos(const CWnd* pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags);
    void GetClientRect(RECT* pRect) const { ::GetClientRect(m_hWnd, pRect); }
    void GetWindowRect(RECT* pRect) const { ::GetWindowRect(m_hWnd, pRect); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    BOOL RedrawWindow(const RECT* pRectUpdate, HRGN hRgnUpdate, UINT nFlags)
    {
        return ::RedrawWindow(m_hWnd, pRectUpdate, hRgnUpdate, nFlags);
    }
    void InvalidateRect(const RECT* pRect, BOOL bErase = TRUE)
    {
        ::InvalidateRect(m_hWnd, pRect, bErase);
    }
    void UpdateWindow() { ::UpdateWindow(m_hWnd); }
    int MessageBox(const char* pszText, const char* pszCaption = NULL, UINT nType = MB_OK)
    {
        return ::MessageBoxA(m_hWnd, pszText, pszCaption, nType);
    }
    // Centres an unowned window on the work area, kept inside it where it is larger.
    void CenterWindow();

    HWND m_hWnd;

protected:
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Looks the message up in the message maps; TRUE when an entry took it.
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    // A message the parent hands back to this window (reflection), looked up in the child's
    // message maps.
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The current message to the window's original procedure.
    LRESULT Default();

    // Handlers whose default is the window's own processing; derived classes call them to pass
    // a message on.
    void OnPaint() { Default(); }
    void OnTimer(UINT_PTR) { Default(); }
    void OnLButtonDown(UINT, POINT) { Default(); }
    BOOL OnSetCursor(CWnd*, UINT, UINT) { return static_cast<BOOL>(Default()); }
    void OnChar(UINT, UINT, UINT) { Default(); }
    void OnEnterIdle(UINT, CWnd*) { Default(); }

    // The root of every chain of message maps; derived classes declare theirs with
    // DECLARE_MESSAGE_MAP, which overrides this accessor.
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;

    WNDPROC m_pfnSuper;

private:
    friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);
    void DetachAfterNcDestroy();
    // The table from handle to object that one thread keeps for its windows (CWnd.cpp), beside
    // the window property.
    void AddToThreadCache();
    void RemoveFromThreadCache();

    // The message being handled, for Default.
    UINT m_nMsgCur;
    WPARAM m_wParamCur;
    LPARAM m_lParamCur;
    bool m_bInThreadCache;
};

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
