#include "controls/CStepLabel.h"

#include "controls/CLiveRegionService.h"
#include "framework/CWinApp.h"

namespace {

// Windows 8's event for a live region whose content changed (EVENT_OBJECT_LIVEREGIONCHANGED,
// which the headers give only to programs for Windows 8 and later). Windows 7 passes it on to
// whoever listens, as any event, and its screen readers let it go.
const DWORD kEventObjectLiveRegionChanged = 0x8019;

// The line's own timer, from which it announces itself; a caller that makes the line flash uses
// a timer of its own, under another id.
const UINT_PTR kAnnounceTimerId = 0xA770;
// Bringing the annotation service in loads COM and a DLL or two. Done as the line turns bold, it
// would compete with the step's program for the processor, and under Wine for its server, just
// while that program starts: one to two per cent of its start. So the first announcement waits
// until the program has had its start (a few tens of milliseconds on Windows, some 200 under Wine).
// No step is shorter than the worker's one-second poll, so its line is still bold by then.
const UINT kFirstAnnounceDelayMilliseconds = 500;

typedef HINSTANCE(WINAPI* PFNSHELLEXECUTEA)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);

// The shell is loaded only when a line is clicked, which this program's lines never are:
// importing it would load the shell and its helpers into every run, a few milliseconds and
// nearly a megabyte for nothing.
HINSTANCE ShellOpen(const char* pszFile)
{
    HMODULE hShell = AfxLoadSystemLibrary("shell32.dll");
    if (hShell == NULL)
        return NULL;
    PFNSHELLEXECUTEA pfnShellExecute = AfxProcAddress<PFNSHELLEXECUTEA>(hShell, "ShellExecuteA");
    // The shell stays loaded: the call may leave threads of its own running in it.
    return pfnShellExecute != NULL
               ? pfnShellExecute(NULL, "open", pszFile, NULL, NULL, SW_SHOWNORMAL)
               : NULL;
}

} // namespace

BEGIN_MESSAGE_MAP(CStepLabel, CStatic)
ON_WM_CTLCOLOR_REFLECT()
ON_WM_TIMER()
ON_WM_LBUTTONDOWN()
ON_WM_SETCURSOR()
ON_MESSAGE(CStepLabel::WM_SETBOLD, CStepLabel::OnSetBold)
END_MESSAGE_MAP()

// The colours are taken once: a line keeps the look it was made with. The font and the brushes
// are the line's own, deleted with it.
CStepLabel::CStepLabel()
{
    m_colorText = ::GetSysColor(COLOR_WINDOWTEXT);
    m_hBrushFace.CreateSolidBrush(::GetSysColor(COLOR_BTNFACE));
    ::GetObjectA(::GetStockObject(DEFAULT_GUI_FONT), sizeof m_logFont, &m_logFont);
    m_lineFont.CreateFontIndirect(&m_logFont);
    m_bFlashPhase = FALSE;
    m_flashMode = kFlashNone;
    m_hOwnCursor = NULL;
    m_pLiveRegions = NULL;
    m_hBrushFlash.CreateSolidBrush(::GetSysColor(COLOR_BTNFACE));
}

CStepLabel& CStepLabel::SetBold(BOOL bBold)
{
    // A worker thread must not swap the font while the window's own thread may be painting
    // with it: hand the change over and wait until the line has been repainted. The window's
    // thread clears m_hWnd at WM_NCDESTROY, so the handle is read once; a window gone by then
    // takes no message.
    const HWND hWnd = m_hWnd;
    if (hWnd != NULL && ::GetWindowThreadProcessId(hWnd, NULL) != ::GetCurrentThreadId()) {
        ::SendMessageA(hWnd, WM_SETBOLD, bBold ? TRUE : FALSE, 0);
        return *this;
    }
    ApplyBold(bBold);
    return *this;
}

void CStepLabel::SetBold(HWND hWndLine, BOOL bBold)
{
    DWORD dwProcessId = 0;
    if (hWndLine == NULL || ::GetWindowThreadProcessId(hWndLine, &dwProcessId) == 0 ||
        dwProcessId != ::GetCurrentProcessId())
        return;
    ::SendMessageA(hWndLine, WM_SETBOLD, bBold ? TRUE : FALSE, 0);
}

void CStepLabel::ApplyBold(BOOL bBold)
{
    m_logFont.lfWeight = bBold ? FW_BOLD : FW_NORMAL;
    RebuildFont();
    if (m_hWnd == NULL)
        return;
    RedrawWindow(NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    // Back to normal says nothing.
    if (!bBold)
        return;
    // The line turning bold is its step starting, and the worker that asked for it waits only
    // for the line to show it: its step starts while the line is announced. (Where the message
    // came from this thread, or was not sent, the reply does nothing.)
    ::ReplyMessage(0);
    // The announcement comes from the line's timer; should the timer not be had, at once.
    const UINT nDelay = m_pLiveRegions != NULL && m_pLiveRegions->IsToBeBroughtIn()
                            ? kFirstAnnounceDelayMilliseconds
                            : USER_TIMER_MINIMUM;
    if (::SetTimer(m_hWnd, kAnnounceTimerId, nDelay, NULL) == 0)
        OnTimer(kAnnounceTimerId);
}

// The old font goes once the new one is made. Should making it fail, the line draws in whatever
// font its device context holds.
void CStepLabel::RebuildFont()
{
    m_lineFont.CreateFontIndirect(&m_logFont);
}

HBRUSH CStepLabel::CtlColor(CDC* pDC, UINT nCtlColor)
{
    // The control is never sent WM_SETFONT: this is the only place its font reaches its text.
    if (nCtlColor == CTLCOLOR_STATIC) {
        pDC->SelectObject(&m_lineFont);
        pDC->SetTextColor(m_colorText);
        pDC->SetBkMode(TRANSPARENT);
    }
    if (m_flashMode == kFlashBackground && !m_bFlashPhase)
        return m_hBrushFlash;
    return m_hBrushFace;
}

void CStepLabel::OnTimer(UINT_PTR nIDEvent)
{
    if (nIDEvent == kAnnounceTimerId) {
        ::KillTimer(m_hWnd, kAnnounceTimerId);
        // A line back to normal by now says nothing.
        if (m_logFont.lfWeight != FW_BOLD)
            return;
        // Marked before the event, so that a screen reader that follows the line as a live
        // region says its text now.
        if (m_pLiveRegions != NULL)
            m_pLiveRegions->MarkPolite(m_hWnd);
        ::NotifyWinEvent(kEventObjectLiveRegionChanged, m_hWnd, OBJID_CLIENT, CHILDID_SELF);
        return;
    }
    m_bFlashPhase = !m_bFlashPhase;
    if (m_flashMode == kFlashText) {
        SetWindowText(m_bFlashPhase ? "" : static_cast<const char*>(m_strFlashText));
    } else if (m_flashMode == kFlashBackground) {
        InvalidateRect(NULL, FALSE);
        UpdateWindow();
    }
    CStatic::OnTimer(nIDEvent);
}

void CStepLabel::OnLButtonDown(UINT nFlags, POINT point)
{
    CString strText;
    GetWindowText(strText);
    ShellOpen(strText);
    CStatic::OnLButtonDown(nFlags, point);
}

BOOL CStepLabel::OnSetCursor(CWnd* pWnd, UINT nHitTest, UINT message)
{
    if (m_hOwnCursor != NULL) {
        ::SetCursor(m_hOwnCursor);
        return TRUE;
    }
    return CStatic::OnSetCursor(pWnd, nHitTest, message);
}

LRESULT CStepLabel::OnSetBold(WPARAM wParam, LPARAM)
{
    ApplyBold(static_cast<BOOL>(wParam));
    return 0;
}
