#pragma once

#include "controls/CLiveRegionService.h"
#include "framework/CDialog.h"
#include "manifest/CRunList.h"
#include "res/resource.h"

class CStepLabel;
class CStepRun;

// The program's one window: a modal dialog with one line per step of the run list. While it
// initialises it reads the run list, lays out the lines, copies the display values and deletes
// the step subkeys; its first ordinary paint starts the worker that runs the steps. A run list
// that cannot be used closes the window before that paint.
class CProgressDlg : public CDialog {
public:
    enum { IDD = IDD_PROGRESS };

    explicit CProgressDlg(CWnd* pParent = NULL);

    // The run list the window shows and its worker runs.
    const CRunList& GetRunList() const { return m_runList; }

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

    DECLARE_MESSAGE_MAP()

private:
    void PaintIconic();
    void StartStepRunner();
    void TraceEnd(const char* pszHow) const;

    CRunList m_runList;
    CStepRun* m_pStepRun; // the worker's run, once started; lives to the end of the process
    // Through which each line marks itself a live region as it first turns bold, on this, the
    // window's, thread. It outlives the lines' windows, which go with the dialog's.
    CLiveRegionService m_liveRegions;
};
