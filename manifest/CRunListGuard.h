#pragma once

#include <windows.h>

#include "framework/CHandle.h"

// Lets one start of the program at a time load and consume the run list. Two starts at the same
// moment (an installer's and a RunOnce entry's, say) would otherwise both read the step subkeys
// before either deleted them, and run every step twice, both copies at once. The guard is a
// named mutex in the Global namespace, so that starts in every session share it; it is held for
// the few milliseconds from opening the run list to deleting its step subkeys, never for the
// steps' run. A second start waits for it, then finds the step subkeys gone.
class CRunListGuard {
public:
    CRunListGuard() : m_bHeld(false) {}
    ~CRunListGuard() { Release(); }

    CRunListGuard(const CRunListGuard&) = delete;
    CRunListGuard& operator=(const CRunListGuard&) = delete;

    // Waits at most dwMilliseconds for the guard. True when the run list may be loaded: the
    // guard is held, or none could be made or waited for (then the program goes on unguarded,
    // as before). False when another start held it all that time: the run list is left to it.
    bool Take(DWORD dwMilliseconds);
    void Release();

private:
    // The last error's part in the trace, when the program goes on without the guard.
    static void TraceUnguarded(const char* pszWhat);

    CHandle m_mutex;
    bool m_bHeld;
};
