#include "support/GuardHolder.h"

#include "manifest/CRunListGuard.h"
#include "manifest/RegistryNames.h"

CGuardHolder::CGuardHolder(DWORD dwHoldMs, bool bAbandon)
    : m_pGuard(new CRunListGuard), m_dwHoldMs(dwHoldMs), m_bAbandon(bAbandon), m_bTaken(false),
      m_hTaken(CreateEventA(NULL, TRUE, FALSE, NULL)), m_hThread(NULL)
{
    m_hThread = CreateThread(NULL, 0, HoldProc, this, 0, NULL);
}

CGuardHolder::~CGuardHolder()
{
    WaitForThread();
    if (m_hThread != NULL)
        CloseHandle(m_hThread);
    CloseHandle(m_hTaken);
    // An abandoned hold's guard is closed here; its mutex was let go as its thread ended.
    delete m_pGuard;
}

bool CGuardHolder::Taken() const
{
    return m_hThread != NULL && WaitForSingleObject(m_hTaken, 5000) == WAIT_OBJECT_0 && m_bTaken;
}

void CGuardHolder::WaitForThread() const
{
    if (m_hThread != NULL)
        WaitForSingleObject(m_hThread, 10000);
}

DWORD WINAPI CGuardHolder::HoldProc(LPVOID pParam)
{
    CGuardHolder* pHolder = static_cast<CGuardHolder*>(pParam);
    pHolder->m_bTaken = pHolder->m_pGuard->Take(0);
    SetEvent(pHolder->m_hTaken);
    if (!pHolder->m_bAbandon) {
        Sleep(pHolder->m_dwHoldMs);
        pHolder->m_pGuard->Release();
    }
    return 0;
}

std::string WhyNoPrivateNamespaces()
{
    const HMODULE hKernel = GetModuleHandleA("kernel32.dll");
    for (const char* pszName :
         {"CreateBoundaryDescriptorW", "AddSIDToBoundaryDescriptor", "DeleteBoundaryDescriptor",
          "CreatePrivateNamespaceW", "OpenPrivateNamespaceW", "ClosePrivateNamespace"}) {
        if (GetProcAddress(hKernel, pszName) == NULL)
            return std::string("kernel32 does not export ") + pszName;
    }
    typedef HANDLE(WINAPI * PFNCREATEBOUNDARYDESCRIPTORW)(LPCWSTR, ULONG);
    typedef VOID(WINAPI * PFNDELETEBOUNDARYDESCRIPTOR)(HANDLE);
    const PFNCREATEBOUNDARYDESCRIPTORW pfnCreate = reinterpret_cast<PFNCREATEBOUNDARYDESCRIPTORW>(
        reinterpret_cast<void*>(GetProcAddress(hKernel, "CreateBoundaryDescriptorW")));
    const PFNDELETEBOUNDARYDESCRIPTOR pfnDelete = reinterpret_cast<PFNDELETEBOUNDARYDESCRIPTOR>(
        reinterpret_cast<void*>(GetProcAddress(hKernel, "DeleteBoundaryDescriptor")));
    const HANDLE hBoundary = pfnCreate(L"FinishInstallTests", 0);
    if (hBoundary == NULL)
        return "CreateBoundaryDescriptorW makes no boundary descriptor (error " +
               std::to_string(GetLastError()) + ")";
    pfnDelete(hBoundary);
    return std::string();
}

std::string GuardNameHere()
{
    return WhyNoPrivateNamespaces().empty() ? kRunListPrivateGuardName : kRunListGuardName;
}
