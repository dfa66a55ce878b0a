#include "framework/CHandle.h"

void CHandle::Close()
{
    if (m_hHandle != NULL)
        ::CloseHandle(Detach());
}

void CHandle::Attach(HANDLE hHandle)
{
    if (hHandle == m_hHandle)
        return;
    Close();
    m_hHandle = hHandle;
}

HANDLE CHandle::Detach()
{
    HANDLE hHandle = m_hHandle;
    m_hHandle = NULL;
    return hHandle;
}
