#pragma once

#include "framework/CWnd.h"

// A modal dialog built from a dialog template resource. Enter, Escape and the close request
// end it through OnOK and OnCancel, as the platform's dialog handling sends IDOK and IDCANCEL.
class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = NULL);

    // Runs the dialog until EndDialog; returns the value given to it, or -1 when the dialog
    // could not be created.
    INT_PTR DoModal();
    void EndDialog(int nResult) { ::EndDialog(m_hWnd, nResult); }

protected:
    // The dialog has no controls to fill from member data, so there is nothing to exchange
    // here; TRUE lets the platform set the focus.
    virtual BOOL OnInitDialog() { return TRUE; }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

    DECLARE_MESSAGE_MAP()

private:
    static INT_PTR CALLBACK DialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
    BOOL HandleInitDialog(HWND hDlg);
    void OnOKCommand() { OnOK(); }
    void OnCancelCommand() { OnCancel(); }
};
