#pragma once

#include <windows.h>

#include <string>

class CRunListGuard;

// Another start's hold on the run list's guard, taken with the program's own guard class, so
// that it is the guard the program waits for on any system (a private namespace's or the global
// name's). A mutex is owned by a thread: the hold is taken on a thread of its own, let go after
// dwHoldMs, or never (the thread ends holding it) with bAbandon.
class CGuardHolder {
public:
    CGuardHolder(DWORD dwHoldMs, bool bAbandon);
    ~CGuardHolder();

    CGuardHolder(const CGuardHolder&) = delete;
    CGuardHolder& operator=(const CGuardHolder&) = delete;

    // True once the guard is held (waited for at most 5 s).
    bool Taken() const;
    // Waits (at most 10 s) for the thread to let go, or to end holding it.
    void WaitForThread() const;

private:
    static DWORD WINAPI HoldProc(LPVOID pParam);

    CRunListGuard* m_pGuard;
    DWORD m_dwHoldMs;
    bool m_bAbandon;
    bool m_bTaken;
    HANDLE m_hTaken;
    HANDLE m_hThread;
};

// Empty where the system has private namespaces (the guard lives in one); otherwise why not.
std::string WhyNoPrivateNamespaces();
// The guard's name as the program's trace gives it on this system.
std::string GuardNameHere();
