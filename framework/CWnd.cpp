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

// The objects of one thread's windows, by handle. Every message asks which object its window
// has, and the window property that answers is kept by the window manager: on Wine each read is
// a round trip to the server. So the thread that first attaches a window of its own keeps the
// answers too, until its last such window is gone; other threads read the property (a program
// has one thread with windows). An entry is put in only on that thread, for a window of its
// own, and taken out at WM_NCDESTROY, the window's last message, so no entry outlives its
// window. A handle whose slot holds another window is read from the property again: a miss
// costs one read, never a wrong answer. (A thread that ends with windows still attached goes on
// holding the table, under an id the system may give a new thread; its entries then name dead
// handles, and a handle's value comes back only once its slot in the system's table has been
// used again some 65,000 times.)
const size_t kCacheSlots = 16;
struct CWndCacheEntry {
    HWND hWnd;
    CWnd* pWnd;
};
CWndCacheEntry g_cache[kCacheSlots];
volatile LONG g_nCacheThread; // the keeping thread's id, or 0
LONG g_nCacheWindows;         // its windows attached on it, whose WM_NCDESTROY comes there

bool KeepsCache()
{
    return g_nCacheThread == static_cast<LONG>(::GetCurrentThreadId());
}

CWndCacheEntry& CacheSlot(HWND hWnd)
{
    // Wine numbers the handles of windows made one after another two apart.
    return g_cache[(reinterpret_cast<UINT_PTR>(hWnd) >> 1) % kCacheSlots];
}

// The object attached to a window of this process, or NULL. The caller says which thread the
// window belongs to, which it has already asked the system or knows.
CWnd* LookUpObject(HWND hWnd, DWORD dwWindowThread)
{
    const bool bKeeps = KeepsCache();
    if (bKeeps && CacheSlot(hWnd).hWnd == hWnd)
        return CacheSlot(hWnd).pWnd;
    CWnd* pWnd = static_cast<CWnd*>(::GetPropA(hWnd, kObjectProperty));
    if (bKeeps && pWnd != NULL && dwWindowThread == ::GetCurrentThreadId()) {
        CacheSlot(hWnd).hWnd = hWnd;
        CacheSlot(hWnd).pWnd = pWnd;
    }
    return pWnd;
}

} // namespace

CWnd* AfxWndFromHandle(HWND hWnd)
{
    return CWnd::FromHandlePermanent(hWnd);
}

CWnd::CWnd()
    : m_hWnd(NULL), m_pfnSuper(NULL), m_nMsgCur(0), m_wParamCur(0), m_lParamCur(0),
      m_bInThreadCache(false)
{
}

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
    const DWORD dwThreadId = ::GetWindowThreadProcessId(hWnd, &dwProcessId);
    if (dwProcessId != ::GetCurrentProcessId())
        return NULL;
    return LookUpObject(hWnd, dwThreadId);
}

BOOL CWnd::SubclassWindow(HWND hWnd)
{
    if (hWnd == NULL || m_hWnd != NULL || !::SetPropA(hWnd, kObjectProperty, this))
        return FALSE;
    m_hWnd = hWnd;
    AddToThreadCache();
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
    RemoveFromThreadCache();
    m_pfnSuper = NULL;
    m_hWnd = NULL;
}

void CWnd::AddToThreadCache()
{
    const LONG nThread = static_cast<LONG>(::GetCurrentThreadId());
    if (static_cast<LONG>(::GetWindowThreadProcessId(m_hWnd, NULL)) != nThread)
        return;
    ::InterlockedCompareExchange(&g_nCacheThread, nThread, 0);
    if (g_nCacheThread != nThread)
        return;
    // Its entry is made at its first look-up.
    ++g_nCacheWindows;
    m_bInThreadCache = true;
}

void CWnd::RemoveFromThreadCache()
{
    if (!KeepsCache())
        return;
    CWndCacheEntry& entry = CacheSlot(m_hWnd);
    if (entry.hWnd == m_hWnd)
        entry.hWnd = NULL;
    if (m_bInThreadCache && --g_nCacheWindows == 0) {
        // Another thread may keep it now, and must find it empty.
        for (size_t i = 0; i < kCacheSlots; ++i)
            g_cache[i].hWnd = NULL;
        ::InterlockedExchange(&g_nCacheThread, 0);
    }
    m_bInThreadCache = false;
}

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    // A window procedure only runs on its window's own thread, in its own process.
    CWnd* pWnd = LookUpObject(hWnd, ::GetCurrentThreadId());
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
