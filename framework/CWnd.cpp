#include "framework/CWnd.h"

#include "framework/CWinApp.h"

namespace {

// The window property that carries the object pointer. A property rather than GWLP_USERDATA,
// which belongs to whoever made the window class.
const char kObjectProperty[] = "FinishInstall.CWnd";

bool IsColourRequest(UINT message)
{
    return message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC;
}

// The work area of the primary monitor; the whole monitor when the system does not tell.
RECT GetWorkArea()
{
    RECT rcArea;
    if (!::SystemParametersInfoA(SPI_GETWORKAREA, 0, &rcArea, 0)) {
        rcArea.left = 0;
        rcArea.top = 0;
        rcArea.right = ::GetSystemMetrics(SM_CXSCREEN);
        rcArea.bottom = ::GetSystemMetrics(SM_CYSCREEN);
    }
    return rcArea;
}

} // namespace

CWnd* AfxWndFromHandle(HWND hWnd)
{
    return CWnd::FromHandlePermanent(hWnd);
}

CWnd::CWnd() : m_hWnd(NULL), m_pfnSuper(NULL), m_nMsgCur(0), m_wParamCur(0), m_lParamCur(0) {}

CWnd::~CWnd()
{
    CWinApp* pApp = AfxGetApp();
    if (pApp != NULL && pApp->m_pMainWnd == this)
        pApp->m_pMainWnd = NULL;
    DestroyWindow();
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd)
{
    if (hWnd == NULL)
        return NULL;
    DWORD dwProcessId = 0;
    ::GetWindowThreadProcessId(hWnd, &dwProcessId);
    if (dwProcessId != ::GetCurrentProcessId())
        return NULL;
    return static_cast<CWnd*>(::GetPropA(hWnd, kObjectProperty));
}

BOOL CWnd::SubclassWindow(HWND hWnd)
{
    if (hWnd == NULL || m_hWnd != NULL || !::SetPropA(hWnd, kObjectProperty, this))
        return FALSE;
    m_hWnd = hWnd;
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc)));
    return TRUE;
}

BOOL CWnd::DestroyWindow()
{
    if (m_hWnd == NULL)
        return FALSE;
    // On success WM_NCDESTROY has detached the object already.
    return ::DestroyWindow(m_hWnd);
}

void CWnd::GetWindowText(CString& strText) const
{
    const int nLength = ::GetWindowTextLengthA(m_hWnd);
    char* pszBuffer = strText.GetBuffer(nLength);
    ::GetWindowTextA(m_hWnd, pszBuffer, nLength + 1);
    strText.ReleaseBuffer();
}

BOOL CWnd::SetWindowPos(const CWnd* pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags)
{
    return ::SetWindowPos(m_hWnd, pWndInsertAfter != NULL ? pWndInsertAfter->m_hWnd : NULL, x, y,
                          cx, cy, nFlags);
}

void CWnd::CenterWindow()
{
    const RECT rcArea = GetWorkArea();
    RECT rcWindow;
    GetWindowRect(&rcWindow);
    const int nWidth = rcWindow.right - rcWindow.left;
    const int nHeight = rcWindow.bottom - rcWindow.top;

    int x = (rcArea.left + rcArea.right) / 2 - nWidth / 2;
    int y = (rcArea.top + rcArea.bottom) / 2 - nHeight / 2;
    // A window larger than the area keeps its top left corner (and so its caption) on screen.
    if (x + nWidth > rcArea.right)
        x = rcArea.right - nWidth;
    if (x < rcArea.left)
        x = rcArea.left;
    if (y + nHeight > rcArea.bottom)
        y = rcArea.bottom - nHeight;
    if (y < rcArea.top)
        y = rcArea.top;
    ::SetWindowPos(m_hWnd, NULL, x, y, -1, -1, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT lResult = 0;
    if (!OnWndMsg(message, wParam, lParam, &lResult))
        lResult = DefWindowProc(message, wParam, lParam);
    return lResult;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    if (IsColourRequest(message)) {
        CWnd* pChild = FromHandlePermanent(reinterpret_cast<HWND>(lParam));
        if (pChild != NULL && pChild != this &&
            pChild->OnChildNotify(WM_CTLCOLOR_REFLECT, wParam, message - WM_CTLCOLORMSGBOX,
                                  pResult))
            return TRUE;
    }
    for (const AFX_MSGMAP* pMap = GetMessageMap(); pMap != NULL;
         pMap = pMap->pfnGetBaseMap != NULL ? pMap->pfnGetBaseMap() : NULL) {
        for (const AFX_MSGMAP_ENTRY* pEntry = pMap->lpEntries; pEntry->nMessage != 0; ++pEntry) {
            if (pEntry->nMessage != message)
                continue;
            if (message == WM_COMMAND && pEntry->nID != LOWORD(wParam))
                continue;
            return pEntry->pfnThunk(this, wParam, lParam, pResult);
        }
    }
    return FALSE;
}

BOOL CWnd::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    return OnWndMsg(message, wParam, lParam, pResult);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_pfnSuper != NULL)
        return ::CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default()
{
    return DefWindowProc(m_nMsgCur, m_wParamCur, m_lParamCur);
}

const AFX_MSGMAP* CWnd::GetThisMessageMap()
{
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, NULL}};
    static const AFX_MSGMAP messageMap = {NULL, &entries[0]};
    return &messageMap;
}

const AFX_MSGMAP* CWnd::GetMessageMap() const
{
    return GetThisMessageMap();
}

void CWnd::DetachAfterNcDestroy()
{
    if (m_pfnSuper != NULL)
        ::SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    ::RemovePropA(m_hWnd, kObjectProperty);
    m_pfnSuper = NULL;
    m_hWnd = NULL;
}

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    // A window procedure only runs for windows of its own process: the property alone tells.
    CWnd* pWnd = static_cast<CWnd*>(::GetPropA(hWnd, kObjectProperty));
    if (pWnd == NULL)
        return ::DefWindowProcA(hWnd, message, wParam, lParam);

    // Messages nest (a handler may send another message to its own window), so the current
    // message is put back afterwards.
    const UINT nMsgOuter = pWnd->m_nMsgCur;
    const WPARAM wParamOuter = pWnd->m_wParamCur;
    const LPARAM lParamOuter = pWnd->m_lParamCur;
    pWnd->m_nMsgCur = message;
    pWnd->m_wParamCur = wParam;
    pWnd->m_lParamCur = lParam;
    const LRESULT lResult = pWnd->WindowProc(message, wParam, lParam);
    pWnd->m_nMsgCur = nMsgOuter;
    pWnd->m_wParamCur = wParamOuter;
    pWnd->m_lParamCur = lParamOuter;

    if (message == WM_NCDESTROY)
        pWnd->DetachAfterNcDestroy();
    return lResult;
}
