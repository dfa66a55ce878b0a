#pragma once

#include <windows.h>

// Owns at most one kernel object handle (a process, a thread) and closes it on destruction.
// Attach takes ownership of a handle, Detach gives it up. Not copyable: two wrappers would close
// one handle twice, the second time perhaps a handle the system has since given to another
// object.
class CHandle {
public:
    CHandle() : m_hHandle(NULL) {}
    explicit CHandle(HANDLE hHandle) : m_hHandle(hHandle) {}
    ~CHandle() { Close(); }

    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;

    // Closes the handle held (if any) and leaves the wrapper empty.
    void Close();
    // Takes ownership of hHandle, closing the handle held before; the handle already held is
    // kept as it is.
    void Attach(HANDLE hHandle);
    HANDLE Detach();

    operator HANDLE() const { return m_hHandle; }

private:
    HANDLE m_hHandle;
};
