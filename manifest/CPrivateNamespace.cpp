#include "manifest/CPrivateNamespace.h"

#include "framework/CWinApp.h"

namespace {

typedef HANDLE(WINAPI* PFNCREATEBOUNDARYDESCRIPTORW)(LPCWSTR, ULONG);
typedef BOOL(WINAPI* PFNADDSIDTOBOUNDARYDESCRIPTOR)(HANDLE*, PSID);
typedef VOID(WINAPI* PFNDELETEBOUNDARYDESCRIPTOR)(HANDLE);
typedef HANDLE(WINAPI* PFNCREATEPRIVATENAMESPACEW)(LPSECURITY_ATTRIBUTES, LPVOID, LPCWSTR);
typedef HANDLE(WINAPI* PFNOPENPRIVATENAMESPACEW)(LPVOID, LPCWSTR);

// BUILTIN\Administrators (S-1-5-32-544), laid out as the system lays out a SID with two
// sub-authorities: a constant needs no allocation and nothing to free.
struct AdministratorsSid {
    BYTE Revision;
    BYTE SubAuthorityCount;
    SID_IDENTIFIER_AUTHORITY IdentifierAuthority;
    DWORD SubAuthority[2];
};
const AdministratorsSid kAdministrators = {SID_REVISION,
                                           2,
                                           {SECURITY_NT_AUTHORITY},
                                           {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}};

// The start that made the namespace may close it between this start's attempt to make it and
// its attempt to open it; the namespace is then gone, and this start makes it anew.
const int kOpenAttempts = 3;

} // namespace

CPrivateNamespace::CPrivateNamespace() : m_hNamespace(NULL), m_pfnClose(NULL) {}

DWORD CPrivateNamespace::Open(const wchar_t* pszAlias)
{
    Close();
    const HMODULE hKernel = ::GetModuleHandleA("kernel32.dll");
    const PFNCREATEBOUNDARYDESCRIPTORW pfnCreateBoundary =
        AfxProcAddress<PFNCREATEBOUNDARYDESCRIPTORW>(hKernel, "CreateBoundaryDescriptorW");
    const PFNADDSIDTOBOUNDARYDESCRIPTOR pfnAddSid =
        AfxProcAddress<PFNADDSIDTOBOUNDARYDESCRIPTOR>(hKernel, "AddSIDToBoundaryDescriptor");
    const PFNDELETEBOUNDARYDESCRIPTOR pfnDeleteBoundary =
        AfxProcAddress<PFNDELETEBOUNDARYDESCRIPTOR>(hKernel, "DeleteBoundaryDescriptor");
    const PFNCREATEPRIVATENAMESPACEW pfnCreate =
        AfxProcAddress<PFNCREATEPRIVATENAMESPACEW>(hKernel, "CreatePrivateNamespaceW");
    const PFNOPENPRIVATENAMESPACEW pfnOpen =
        AfxProcAddress<PFNOPENPRIVATENAMESPACEW>(hKernel, "OpenPrivateNamespaceW");
    const PFNCLOSEPRIVATENAMESPACE pfnClose =
        AfxProcAddress<PFNCLOSEPRIVATENAMESPACE>(hKernel, "ClosePrivateNamespace");
    if (pfnCreateBoundary == NULL || pfnAddSid == NULL || pfnDeleteBoundary == NULL ||
        pfnCreate == NULL || pfnOpen == NULL || pfnClose == NULL)
        return ERROR_NOT_SUPPORTED;

    HANDLE hBoundary = pfnCreateBoundary(pszAlias, 0);
    if (hBoundary == NULL)
        return ERROR_NOT_SUPPORTED;
    DWORD dwError = ERROR_SUCCESS;
    if (!pfnAddSid(&hBoundary, const_cast<AdministratorsSid*>(&kAdministrators)))
        dwError = ::GetLastError();
    for (int i = 0; dwError == ERROR_SUCCESS && m_hNamespace == NULL && i < kOpenAttempts; ++i) {
        // No attributes: the namespace takes the default security of this start's token, which
        // for an administrator's process lets only administrators and the system in.
        m_hNamespace = pfnCreate(NULL, hBoundary, pszAlias);
        if (m_hNamespace != NULL)
            break;
        dwError = ::GetLastError();
        if (dwError != ERROR_ALREADY_EXISTS)
            break;
        m_hNamespace = pfnOpen(hBoundary, pszAlias);
        dwError = m_hNamespace != NULL ? ERROR_SUCCESS : ::GetLastError();
        if (dwError == ERROR_PATH_NOT_FOUND || dwError == ERROR_FILE_NOT_FOUND)
            dwError = ERROR_SUCCESS;
    }
    // The namespace keeps its own copy of the boundary.
    pfnDeleteBoundary(hBoundary);
    if (m_hNamespace == NULL)
        return dwError != ERROR_SUCCESS ? dwError : ERROR_ALREADY_EXISTS;
    m_pfnClose = pfnClose;
    return ERROR_SUCCESS;
}

void CPrivateNamespace::Close()
{
    if (m_hNamespace != NULL)
        m_pfnClose(m_hNamespace, 0);
    m_hNamespace = NULL;
}
