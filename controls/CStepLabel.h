#pragma once

#include "framework/CBrush.h"
#include "framework/CFont.h"
#include "framework/CStatic.h"
#include "framework/CString.h"

class CLiveRegionService;

// One step's line in the progress window: static text in its own copy of the default GUI font,
// in the window-text colour on a button-face background, switched between normal and bold
// weight to mark the running step.
//
// The line can also flash its text or background on a timer, open its text through the shell
// when clicked (given SS_NOTIFY), and show a cursor of its own. The program switches none of
// them on; the setters are for callers that want them.
class CStepLabel : public CStatic {
public:
    // Sent to the line by SetBold from another thread: wParam is the weight flag.
    static constexpr UINT WM_SETBOLD = WM_APP + 1;

    enum FlashMode { kFlashNone = 0, kFlashText = 1, kFlashBackground = 2 };

    CStepLabel();

    // Sets the weight to bold (any non-zero argument) or normal, rebuilds the font and repaints
    // the line before returning; turned bold, the line raises EVENT_OBJECT_LIVEREGIONCHANGED for
    // screen readers from a timer once it is drawn, half a second later where its live-region
    // service has yet to be brought in (so that its step's program starts first). Safe from any
    // thread: the font is only ever replaced on the thread that owns the line's window. A caller
    // on another thread is let go once the line is drawn; the announcement follows on the
    // window's thread.
    CStepLabel& SetBold(BOOL bBold);
    // SetBold for a thread that has only the line's window handle, as the step runner has: the
    // window's own thread makes the change. A handle that is no longer a window of this process
    // is passed over.
    static void SetBold(HWND hWndLine, BOOL bBold);
    // The service through which the line marks itself a live region, just before it first
    // announces itself. Borrowed: it must outlive the line's window. NULL (the default) leaves
    // the line unmarked, its announcement raised all the same.
    void AnnounceThrough(CLiveRegionService* pLiveRegions) { m_pLiveRegions = pLiveRegions; }
    // Replaces the font with one built from the current description.
    void RebuildFont();

    void SetFlashMode(int nFlashMode) { m_flashMode = nFlashMode; }
    void SetFlashText(const char* pszText) { m_strFlashText = pszText; }
    void SetOwnCursor(HCURSOR hCursor) { m_hOwnCursor = hCursor; }

protected:
    // HBRUSH CtlColor(CDC* pDC, UINT nCtlColor): the parent's colour request, handed back.
    HBRUSH CtlColor(CDC* pDC, UINT nCtlColor);
    void OnTimer(UINT_PTR nIDEvent);
    void OnLButtonDown(UINT nFlags, POINT point);
    BOOL OnSetCursor(CWnd* pWnd, UINT nHitTest, UINT message);
    LRESULT OnSetBold(WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()

private:
    void ApplyBold(BOOL bBold);

    COLORREF m_colorText;
    // Owned, like the font: deleted with the line.
    CBrush m_hBrushFace;
    CBrush m_hBrushFlash;
    LOGFONTA m_logFont;
    CFont m_lineFont;
    CString m_strFlashText;
    BOOL m_bFlashPhase;
    int m_flashMode;
    HCURSOR m_hOwnCursor;               // borrowed
    CLiveRegionService* m_pLiveRegions; // borrowed
};
