#include "app/CStepRun.h"

#include "controls/CStepLabel.h"
#include "framework/CTrace.h"
#include "manifest/CInstallStep.h"

CStepRun::CStepRun(CInstallStep* const* ppSteps, const HWND* phLines, UINT nSteps, HWND hWndDialog)
    : m_nSteps(nSteps < CRunList::kMaxSteps ? nSteps : CRunList::kMaxSteps),
      m_hWndDialog(hWndDialog), m_nRunning(kNotStarted)
{
    for (UINT i = 0; i < m_nSteps; ++i) {
        m_steps[i] = ppSteps[i];
        m_hLines[i] = phLines[i];
    }
}

DWORD WINAPI CStepRun::StepThreadProc(LPVOID pParam)
{
    static_cast<CStepRun*>(pParam)->RunSteps();
    return 0;
}

void CStepRun::RunSteps()
{
    for (UINT i = 0; i < m_nSteps; ++i) {
        // Both lines are repainted before the step's program starts; the last line stays bold.
        if (i > 0)
            CStepLabel::SetBold(m_hLines[i - 1], FALSE);
        CStepLabel::SetBold(m_hLines[i], TRUE);
        // Whatever the step's result, the next one runs.
        ::InterlockedExchange(&m_nRunning, static_cast<LONG>(i));
        m_steps[i]->Run();
    }
    ::InterlockedExchange(&m_nRunning, kFinished);
    CTrace::Line("all %u steps run: the window closes", m_nSteps);
    ::PostMessageA(m_hWndDialog, WM_CLOSE, 0, 0);
}

CString CStepRun::GetStepKeyName(UINT i) const
{
    return i < m_nSteps ? m_steps[i]->GetKeyName() : CString();
}
