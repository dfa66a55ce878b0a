#include "framework/CComApartment.h"

#include <objbase.h>

#include "framework/CWinApp.h"

namespace {

typedef HRESULT(WINAPI* PFNCOINITIALIZEEX)(LPVOID, DWORD);

} // namespace

CComApartment::CComApartment()
    : m_bTried(false), m_hr(CO_E_NOTINITIALIZED), m_pfnUninitialize(NULL), m_pfnCreateInstance(NULL)
{
}

CComApartment::~CComApartment()
{
    // COM's library stays loaded: the objects it made may have left threads running in it.
    if (SUCCEEDED(m_hr))
        m_pfnUninitialize();
}

// No OLE 1 DDE: the program takes part in no DDE conversation, and the platform advises leaving
// it out of every new program.
HRESULT CComApartment::Enter()
{
    if (m_bTried)
        return m_hr;
    m_bTried = true;
    const HMODULE hOle = AfxLoadSystemLibrary("ole32.dll");
    if (hOle == NULL)
        return m_hr = HRESULT_FROM_WIN32(::GetLastError());
    const PFNCOINITIALIZEEX pfnInitialize =
        AfxProcAddress<PFNCOINITIALIZEEX>(hOle, "CoInitializeEx");
    m_pfnUninitialize = AfxProcAddress<PFNCOUNINITIALIZE>(hOle, "CoUninitialize");
    m_pfnCreateInstance = AfxProcAddress<PFNCOCREATEINSTANCE>(hOle, "CoCreateInstance");
    if (pfnInitialize == NULL || m_pfnUninitialize == NULL || m_pfnCreateInstance == NULL)
        return m_hr = HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    return m_hr = pfnInitialize(NULL, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
}

HRESULT CComApartment::CreateInstance(REFCLSID clsid, DWORD dwClsContext, REFIID iid,
                                      void** ppv) const
{
    *ppv = NULL;
    if (FAILED(m_hr))
        return CO_E_NOTINITIALIZED;
    return m_pfnCreateInstance(clsid, NULL, dwClsContext, iid, ppv);
}
