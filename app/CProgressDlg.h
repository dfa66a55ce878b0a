#pragma once

#include "controls/CLiveRegionService.h"
#include "framework/CDialog.h"
#include "manifest/CRunList.h"
#include "res/resource.h"

class CStepLabel;
class CStepRun;

// The program's one window: a modal dialog with one line per step of the run list. While it
// initialises it reads the run list, lays out the lines, copies the display values and deletes
// the step subkeys; its first ordinary paint starts the worker that runs the steps, or, where the
// window is minimised or hidden once shown, a message posted at the end of its initialisation
// does. A run list that cannot be used closes the window before either.
class CProgressDlg : public CDialog {
public:
    enum { IDD = IDD_PROGRESS };

    explicit CProgressDlg(CWnd* pParent = NULL);

    // The run list the window shows and its worker runs.
    const CRunList& GetRunList() const { return m_runList; }
    // What the program ends with once the dialog has ended: 0 after a run, or the system's
    // error where no run could be had (another start held the run list, no worker started).
    DWORD GetExitCode() const { return m_dwExitCode; }

    HICON m_hIcon;
    // Entry i shows step i; as many as there are steps.
    CStepLabel* m_labels[CRunList::kMaxSteps];
    BYTE m_bThreadStarted;

protected:
    BOOL OnInitDialog() override;
    // The dialog ends as any dialog does; these only note in the trace when it ends mid-run.
    void OnOK() override;
    void OnCancel() override;
    void CreateStepLabels();

    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnEnterIdle(UINT nWhy, CWnd* pWho);
    void OnChar(UINT nChar, UINT nRepCnt, UINT nFlags);
    LRESULT OnStartIfNotShown(WPARAM wParam, LPARAM lParam);

    // Starts the worker's thread on pStepRun; NULL, with the last error set, where none could
    // be started. Virtual for the tests, which make it fail.
    virtual HANDLE CreateWorkerThread(CStepRun* pStepRun);

    DECLARE_MESSAGE_MAP()

private:
    // Posted at the end of the initialisation; handled once the window has been shown as its
    // starter asked.
    static constexpr UINT WM_STARTIFNOTSHOWN = WM_APP + 1;

    void PaintIconic();
    void StartStepRunner();
    void TraceEnd(const char* pszHow) const;

    CRunList m_runList;
    CStepRun* m_pStepRun; // the worker's run, once started; lives to the end of the process
    DWORD m_dwExitCode;
    // Through which each line marks itself a live region as it first turns bold, on this, the
    // window's, thread. It outlives the lines' windows, which go with the dialog's.
    CLiveRegionService m_liveRegions;
};
