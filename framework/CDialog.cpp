#include "framework/CDialog.h"

#include "framework/CWinApp.h"

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, CDialog::OnOKCommand)
ON_COMMAND(IDCANCEL, CDialog::OnCancelCommand)
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd)
{
}

INT_PTR CDialog::DoModal()
{
    return ::DialogBoxParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDTemplate),
                             m_pParentWnd != NULL ? m_pParentWnd->GetSafeHwnd() : NULL,
                             &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

// The dialog procedure only attaches the object; from then on the window procedure is
// AfxWndProc and every message goes through the message maps first.
INT_PTR CALLBACK CDialog::DialogProc(HWND hDlg, UINT message, WPARAM, LPARAM lParam)
{
    if (message != WM_INITDIALOG)
        return FALSE;
    CDialog* pDialog = reinterpret_cast<CDialog*>(lParam);
    return pDialog->HandleInitDialog(hDlg);
}

BOOL CDialog::HandleInitDialog(HWND hDlg)
{
    if (!SubclassWindow(hDlg))
        return TRUE;
    RECT rcBefore;
    GetWindowRect(&rcBefore);
    const BOOL bResult = OnInitDialog();

    // A dialog that was hidden during initialisation, has no owner, asks for no placement of
    // its own and was not moved by OnInitDialog is centred, so a template at 0, 0 does not end
    // up in the corner of the screen.
    if (m_hWnd == NULL || (GetStyle() & (WS_VISIBLE | WS_CHILD)) != 0 ||
        ::GetWindow(m_hWnd, GW_OWNER) != NULL)
        return bResult;
    if ((GetStyle() & (DS_CENTER | DS_CENTERMOUSE | DS_ABSALIGN)) != 0)
        return bResult;
    RECT rcAfter;
    GetWindowRect(&rcAfter);
    if (rcAfter.left == rcBefore.left && rcAfter.top == rcBefore.top)
        CenterWindow();
    return bResult;
}
