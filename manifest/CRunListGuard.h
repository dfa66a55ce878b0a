#pragma once

#include <windows.h>

#include "framework/CHandle.h"
#include "manifest/CPrivateNamespace.h"

// Lets one start of the program at a time load and consume the run list. Two starts at the same
// moment (an installer's and a RunOnce entry's, say) would otherwise both read the step subkeys
// before either deleted them, and run every step twice, both copies at once. The guard is held
// for the few milliseconds from opening the run list to deleting its step subkeys, never for the
// steps' run. A second start waits for it, then finds the step subkeys gone.
//
// Any process may make a mutex under a global name, and one that held it would keep every start
// from its run list. So the guard is a mutex in a private namespace that only administrators
// can open; only where the system has no private namespaces is it the global name, shared by
// starts in every session.
class CRunListGuard {
public:
    CRunListGuard() : m_pszName(NULL), m_bHeld(false) {}
    ~CRunListGuard() { Release(); }

    CRunListGuard(const CRunListGuard&) = delete;
    CRunListGuard& operator=(const CRunListGuard&) = delete;

    // Waits at most dwMilliseconds for the guard. True when the run list may be loaded: the
    // guard is held, or none could be made or waited for (then the program goes on unguarded,
    // as before). False when another start held it all that time: the run list is left to it.
    bool Take(DWORD dwMilliseconds);
    void Release();

    // Whether the guard last made lives in the administrators' private namespace.
    bool IsPrivate() const { return m_pszName == kPrivateName; }

private:
    static const char* const kPrivateName;

    // The last error's part in the trace, when the program goes on without the guard.
    void TraceUnguarded(const char* pszWhat) const;

    CPrivateNamespace m_namespace;
    CHandle m_mutex;
    const char* m_pszName; // the guard's name, once made
    bool m_bHeld;
};
