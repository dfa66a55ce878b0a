// Where the program's start-up goes, for the run list in the registry: the benchmark's profile
// of a slow start. Reads the run list once on its own, then runs the progress dialog in this
// process up to its first paint and ends it there, before any step starts (the run list is
// consumed, as in the program).
//
//   bench_phases
//
// Prints "name<TAB>value" lines on standard output; times in milliseconds, memory in bytes:
//   steps        the steps the dialog loaded
//   load_ms      the run list's registry reads on their own (CRunList::LoadManifest)
//   create_ms    from DoModal to the start of OnInitDialog: the dialog window itself
//   init_ms      OnInitDialog: the same reads again, the lines, the display values and the
//                deletion of the step subkeys
//   paint_ms     from the end of OnInitDialog to the first paint
//   ws_init      working set when OnInitDialog starts
//   ws_inited    working set when it has ended
//   ws_painted   working set at the first paint
//   window_cx, window_cy  the window's size at its first paint, in pixels
//   screen_cy    the screen's height, in pixels

#include <windows.h>

#include <psapi.h>

#include <stdio.h>

#include "app/CProgressDlg.h"
#include "framework/CWinApp.h"

namespace {

double MillisecondsSince(const LARGE_INTEGER& start)
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - start.QuadPart) * 1000.0 /
           static_cast<double>(frequency.QuadPart);
}

unsigned long long WorkingSet()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.WorkingSetSize;
}

// The progress dialog with a stopwatch: it notes when its initialisation starts and ends and
// ends itself at its first paint, so that the worker never starts.
class CTimedDlg : public CProgressDlg {
public:
    LARGE_INTEGER m_start = {}; // set just before DoModal
    double m_dInitStart = 0, m_dInitEnd = 0, m_dPainted = 0;
    unsigned long long m_cbInit = 0, m_cbInited = 0, m_cbPainted = 0;
    RECT m_rcWindow = {};

protected:
    BOOL OnInitDialog() override
    {
        m_dInitStart = MillisecondsSince(m_start);
        m_cbInit = WorkingSet();
        const BOOL bResult = CProgressDlg::OnInitDialog();
        m_dInitEnd = MillisecondsSince(m_start);
        m_cbInited = WorkingSet();
        return bResult;
    }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_PAINT && m_dPainted == 0) {
            m_dPainted = MillisecondsSince(m_start);
            m_cbPainted = WorkingSet();
            GetWindowRect(&m_rcWindow);
            EndDialog(IDCANCEL);
            ValidateRect(m_hWnd, NULL);
            return 0;
        }
        return CProgressDlg::WindowProc(message, wParam, lParam);
    }
};

// The dialog's code looks for the application object, as in the program.
class CPhasesApp : public CWinApp {
} theApp;

} // namespace

int main()
{
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    {
        CRunList runList;
        runList.LoadManifest();
        runList.FreeSteps();
    }
    const double dLoad = MillisecondsSince(start);

    CTimedDlg dlg;
    theApp.m_pMainWnd = &dlg;
    QueryPerformanceCounter(&dlg.m_start);
    dlg.DoModal();
    theApp.m_pMainWnd = NULL;

    printf("steps\t%u\nload_ms\t%.1f\ncreate_ms\t%.1f\ninit_ms\t%.1f\npaint_ms\t%.1f\n",
           dlg.GetRunList().m_nSteps, dLoad, dlg.m_dInitStart, dlg.m_dInitEnd - dlg.m_dInitStart,
           dlg.m_dPainted - dlg.m_dInitEnd);
    printf("ws_init\t%llu\nws_inited\t%llu\nws_painted\t%llu\n", dlg.m_cbInit, dlg.m_cbInited,
           dlg.m_cbPainted);
    printf("window_cx\t%ld\nwindow_cy\t%ld\nscreen_cy\t%d\n",
           dlg.m_rcWindow.right - dlg.m_rcWindow.left, dlg.m_rcWindow.bottom - dlg.m_rcWindow.top,
           GetSystemMetrics(SM_CYSCREEN));
    return dlg.m_dPainted > 0 ? 0 : 1;
}
