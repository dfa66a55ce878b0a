#pragma once

#include <windows.h>

// The calling thread in a single-threaded COM apartment for the object's life: entered by the
// constructor, left by the destructor, on the same thread. A window's thread takes this kind,
// since the COM objects that serve its windows may call back into them and must do so on that
// thread. Not copyable: leaving twice would take the thread out of an apartment someone else
// entered.
class CComApartment {
public:
    CComApartment();
    ~CComApartment();

    CComApartment(const CComApartment&) = delete;
    CComApartment& operator=(const CComApartment&) = delete;

    // What entering answered: S_OK, S_FALSE when the thread was in such an apartment already
    // (left all the same, once), or the failure, when the thread is in none of ours.
    HRESULT GetResult() const { return m_hr; }

private:
    HRESULT m_hr;
};
