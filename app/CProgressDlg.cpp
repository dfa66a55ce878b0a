#include "app/CProgressDlg.h"

#include "app/CStepRun.h"
#include "controls/CStepLabel.h"
#include "framework/CClientDC.h"
#include "framework/CHandle.h"
#include "framework/CPaintDC.h"
#include "framework/CTrace.h"
#include "framework/CWinApp.h"
#include "manifest/CInstallStep.h"

namespace {

// Layout in pixels: lines stand at the left margin, one under the other with a gap between;
// the window adds the margins and room for its frame and caption.
const int kMargin = 10;
const int kLineGap = 10;
const int kFrameWidth = 2 * kMargin;
const int kFrameHeight = 30;
const UINT kLineId = 0xFFFF;

} // namespace

BEGIN_MESSAGE_MAP(CProgressDlg, CDialog)
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_WM_ENTERIDLE()
ON_WM_CHAR()
ON_MESSAGE(CProgressDlg::WM_STARTIFNOTSHOWN, CProgressDlg::OnStartIfNotShown)
END_MESSAGE_MAP()

CProgressDlg::CProgressDlg(CWnd* pParent)
    : CDialog(IDD, pParent), m_bThreadStarted(0), m_pStepRun(NULL), m_dwExitCode(ERROR_SUCCESS)
{
    m_hIcon = ::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDI_PROGRAM));
}

BOOL CProgressDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    // The run list is consumed here, before any step runs: a run cut short is not resumed.
    m_runList.LoadManifest();
    // Without a readable "Title" the window keeps the caption it was made with.
    if (m_runList.HasTitle())
        SetWindowText(m_runList.GetTitle());
    CreateStepLabels();
    m_runList.WriteDisplayValues();
    m_runList.DeleteStepKeys();
    // A run list that cannot be used is consumed all the same. The close request is handled
    // before the first paint, which is what starts the worker, so no step starts. A run list
    // that another start kept is not this start's to run: the installer hears of it.
    if (m_runList.IsLeftToAnotherStart())
        m_dwExitCode = WAIT_TIMEOUT;
    if (!m_runList.IsUsable()) {
        PostMessage(WM_CLOSE);
        return TRUE;
    }
    // A window started minimised or hidden (a deployment tool's SW_HIDE, an installer's
    // "run minimised") may never get an ordinary paint; this message starts the worker then.
    PostMessage(WM_STARTIFNOTSHOWN);
    return TRUE;
}

// Each line is as large as its text measured in its window's default device context, and the
// window is sized to the widest line and the sum of their heights.
void CProgressDlg::CreateStepLabels()
{
    int y = kMargin;
    int nMaxWidth = 0;
    for (UINT i = 0; i < m_runList.m_nSteps; ++i) {
        const CString strText = m_runList.m_steps[i]->GetText();
        CStepLabel* pLabel = new CStepLabel;
        m_labels[i] = pLabel;
        const RECT rcEmpty = {0, 0, 0, 0};
        pLabel->Create(strText, WS_CHILD | WS_VISIBLE, rcEmpty, this, kLineId);
        // So that a screen reader says the line's text when its step starts (SetBold raises
        // the event), and not only once as the window appears.
        pLabel->AnnounceThrough(&m_liveRegions);

        DWORD dwExtent;
        {
            CClientDC dc(pLabel);
            dwExtent = dc.GetTabbedTextExtent(strText, strText.GetLength(), 0, NULL);
        }
        const int nWidth = static_cast<short>(LOWORD(dwExtent));
        const int nHeight = static_cast<short>(HIWORD(dwExtent));
        pLabel->SetWindowPos(NULL, kMargin, y, nWidth, nHeight, SWP_NOZORDER);

        y += nHeight + kLineGap;
        if (nWidth > nMaxWidth)
            nMaxWidth = nWidth;
    }
    SetWindowPos(NULL, 0, 0, nMaxWidth + kFrameWidth, y + kFrameHeight, SWP_NOMOVE | SWP_NOZORDER);
}

void CProgressDlg::OnPaint()
{
    if (IsIconic()) {
        PaintIconic();
        return;
    }
    CDialog::OnPaint();
    if (!m_bThreadStarted) {
        m_bThreadStarted = 1;
        StartStepRunner();
    }
}

LRESULT CProgressDlg::OnStartIfNotShown(WPARAM, LPARAM)
{
    // Shown normally, the window gets its first ordinary paint after this message, and the
    // paint starts the worker.
    if (m_bThreadStarted || (!IsIconic() && ::IsWindowVisible(m_hWnd)))
        return 0;
    CTrace::Line("window %s: the steps start without waiting for it to be drawn",
                 IsIconic() ? "minimised" : "hidden");
    m_bThreadStarted = 1;
    StartStepRunner();
    return 0;
}

void CProgressDlg::PaintIconic()
{
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    const int cxIcon = ::GetSystemMetrics(SM_CXICON);
    const int cyIcon = ::GetSystemMetrics(SM_CYICON);
    RECT rect;
    GetClientRect(&rect);
    const int x = (rect.right - rect.left - cxIcon + 1) / 2;
    const int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
    dc.DrawIcon(x, y, m_hIcon);
}

// The worker gets its own copy of the steps, the lines' window handles and the dialog's, made
// on the heap and kept until the process ends: the dialog object goes away as soon as the
// dialog ends, which may be in the middle of a step, and the lines forget their handles as
// their windows go.
void CProgressDlg::StartStepRunner()
{
    HWND hLines[CRunList::kMaxSteps];
    for (UINT i = 0; i < m_runList.m_nSteps; ++i)
        hLines[i] = m_labels[i]->GetSafeHwnd();
    m_pStepRun = new CStepRun(m_runList.m_steps, hLines, m_runList.m_nSteps, m_hWnd);
    // Nothing waits for the worker, so its handle is closed at once; the worker ends with the
    // process if the dialog ends first.
    const CHandle thread(CreateWorkerThread(m_pStepRun));
    if (static_cast<HANDLE>(thread) != NULL)
        return;
    // The run list is consumed already; the installer must not take the product for finished.
    const DWORD dwError = ::GetLastError();
    char szError[256];
    CTrace::Line("worker not started (error %lu: %s): no step runs, the window closes", dwError,
                 CTrace::ErrorText(dwError, szError, sizeof szError));
    m_dwExitCode = dwError != ERROR_SUCCESS ? dwError : ERROR_INVALID_FUNCTION;
    PostMessage(WM_CLOSE);
}

HANDLE CProgressDlg::CreateWorkerThread(CStepRun* pStepRun)
{
    DWORD dwThreadId;
    return ::CreateThread(NULL, 0, &CStepRun::StepThreadProc, pStepRun, 0, &dwThreadId);
}

void CProgressDlg::OnOK()
{
    TraceEnd("Enter");
    CDialog::OnOK();
}

void CProgressDlg::OnCancel()
{
    TraceEnd("Escape or a close request");
    CDialog::OnCancel();
}

void CProgressDlg::TraceEnd(const char* pszHow) const
{
    const LONG nRunning = m_pStepRun != NULL ? m_pStepRun->GetRunningStep() : CStepRun::kNotStarted;
    if (nRunning == CStepRun::kFinished)
        return;
    if (nRunning == CStepRun::kNotStarted) {
        CTrace::Line("dialog ended by %s before any step ran", pszHow);
        return;
    }
    const CString strKeyName = m_pStepRun->GetStepKeyName(static_cast<UINT>(nRunning));
    CTrace::Line("dialog ended by %s while step %ld (\"%s\") runs: its program runs on", pszHow,
                 nRunning, static_cast<const char*>(strKeyName));
}

HCURSOR CProgressDlg::OnQueryDragIcon()
{
    return static_cast<HCURSOR>(m_hIcon);
}

void CProgressDlg::OnEnterIdle(UINT nWhy, CWnd* pWho)
{
    CDialog::OnEnterIdle(nWhy, pWho);
}

void CProgressDlg::OnChar(UINT nChar, UINT nRepCnt, UINT nFlags)
{
    if (nChar == VK_ESCAPE) {
        MessageBox("Esc", "Esc", MB_OK);
        return;
    }
    CDialog::OnChar(nChar, nRepCnt, nFlags);
}
