#include "manifest/CRunListGuard.h"

#include "framework/CTrace.h"
#include "manifest/RegistryNames.h"

const char* const CRunListGuard::kPrivateName = kRunListPrivateGuardName;

bool CRunListGuard::Take(DWORD dwMilliseconds)
{
    Release();
    const DWORD dwNamespace = m_namespace.Open(kRunListNamespaceAlias);
    if (dwNamespace == ERROR_SUCCESS) {
        m_pszName = kPrivateName;
    } else {
        // Where private namespaces exist but this one cannot be had, the global name is still
        // a guard against a second start.
        char szError[256];
        CTrace::Line("run list guard under the global name: no private namespace (error %lu: %s)",
                     dwNamespace, CTrace::ErrorText(dwNamespace, szError, sizeof szError));
        m_pszName = kRunListGuardName;
    }
    m_mutex.Attach(::CreateMutexA(NULL, FALSE, m_pszName));
    if (static_cast<HANDLE>(m_mutex) == NULL) {
        TraceUnguarded("made");
        m_namespace.Close();
        return true;
    }
    const DWORD dwStart = ::GetTickCount();
    const DWORD dwWait = ::WaitForSingleObject(m_mutex, dwMilliseconds);
    const DWORD dwWaited = ::GetTickCount() - dwStart;
    switch (dwWait) {
    case WAIT_OBJECT_0:
        m_bHeld = true;
        CTrace::Line("run list guard %s taken after %lu ms", m_pszName, dwWaited);
        return true;
    case WAIT_ABANDONED:
        // A start that held it ended without letting go; the run list is as it left it.
        m_bHeld = true;
        CTrace::Line("run list guard %s taken after %lu ms, abandoned by a start that ended",
                     m_pszName, dwWaited);
        return true;
    case WAIT_TIMEOUT:
        CTrace::Line("run list guard %s still held by another start after %lu ms: the run list "
                     "is left to it",
                     m_pszName, dwWaited);
        Release();
        return false;
    default:
        TraceUnguarded("waited for");
        Release();
        return true;
    }
}

void CRunListGuard::TraceUnguarded(const char* pszWhat) const
{
    char szError[256];
    const DWORD dwError = ::GetLastError();
    CTrace::Line("run list guard %s not %s (error %lu: %s): loading unguarded", m_pszName, pszWhat,
                 dwError, CTrace::ErrorText(dwError, szError, sizeof szError));
}

void CRunListGuard::Release()
{
    if (m_bHeld) {
        ::ReleaseMutex(m_mutex);
        m_bHeld = false;
        CTrace::Line("run list guard released");
    }
    m_mutex.Close();
    // The namespace outlives this handle while another start has it open.
    m_namespace.Close();
}
