#include "manifest/CRunListGuard.h"

#include "framework/CTrace.h"
#include "manifest/RegistryNames.h"

bool CRunListGuard::Take(DWORD dwMilliseconds)
{
    Release();
    m_mutex.Attach(::CreateMutexA(NULL, FALSE, kRunListGuardName));
    if (static_cast<HANDLE>(m_mutex) == NULL) {
        TraceUnguarded("made");
        return true;
    }
    const DWORD dwStart = ::GetTickCount();
    const DWORD dwWait = ::WaitForSingleObject(m_mutex, dwMilliseconds);
    const DWORD dwWaited = ::GetTickCount() - dwStart;
    switch (dwWait) {
    case WAIT_OBJECT_0:
        m_bHeld = true;
        CTrace::Line("run list guard %s taken after %lu ms", kRunListGuardName, dwWaited);
        return true;
    case WAIT_ABANDONED:
        // A start that held it ended without letting go; the run list is as it left it.
        m_bHeld = true;
        CTrace::Line("run list guard %s taken after %lu ms, abandoned by a start that ended",
                     kRunListGuardName, dwWaited);
        return true;
    case WAIT_TIMEOUT:
        CTrace::Line("run list guard %s still held by another start after %lu ms: the run list "
                     "is left to it",
                     kRunListGuardName, dwWaited);
        m_mutex.Close();
        return false;
    default:
        TraceUnguarded("waited for");
        m_mutex.Close();
        return true;
    }
}

void CRunListGuard::TraceUnguarded(const char* pszWhat)
{
    char szError[256];
    const DWORD dwError = ::GetLastError();
    CTrace::Line("run list guard %s not %s (error %lu: %s): loading unguarded", kRunListGuardName,
                 pszWhat, dwError, CTrace::ErrorText(dwError, szError, sizeof szError));
}

void CRunListGuard::Release()
{
    if (m_bHeld) {
        ::ReleaseMutex(m_mutex);
        m_bHeld = false;
        CTrace::Line("run list guard released");
    }
    m_mutex.Close();
}
