#pragma once

#include <windows.h>

// The calling thread in a single-threaded COM apartment, entered on first need and left by the
// destructor; both on the same thread. A window's thread takes this kind, since the COM objects
// that serve its windows may call back into them and must do so on that thread.
//
// COM's library is loaded at that first need, from the system folder, rather than imported: a
// start that never needs COM then never maps ole32 and the runtime it brings (combase, rpcrt4).
// Not copyable: leaving twice would take the thread out of an apartment someone else entered.
class CComApartment {
public:
    CComApartment();
    ~CComApartment();

    CComApartment(const CComApartment&) = delete;
    CComApartment& operator=(const CComApartment&) = delete;

    // Enters on the first call; every call answers what entering answered: S_OK, S_FALSE when
    // the thread was in such an apartment already (left all the same, once), or the failure,
    // when the thread is in none of ours (COM's library missing: its load error).
    HRESULT Enter();
    // CoCreateInstance, for a thread that has entered; CO_E_NOTINITIALIZED for one that has not.
    HRESULT CreateInstance(REFCLSID clsid, DWORD dwClsContext, REFIID iid, void** ppv) const;

private:
    typedef void(WINAPI* PFNCOUNINITIALIZE)();
    typedef HRESULT(WINAPI* PFNCOCREATEINSTANCE)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*);

    bool m_bTried;
    HRESULT m_hr;
    PFNCOUNINITIALIZE m_pfnUninitialize;
    PFNCOCREATEINSTANCE m_pfnCreateInstance;
};
