#include "framework/CComApartment.h"

#include <objbase.h>

// No OLE 1 DDE: the program takes part in no DDE conversation, and the platform advises leaving
// it out of every new program.
CComApartment::CComApartment()
    : m_hr(::CoInitializeEx(NULL, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))
{
}

CComApartment::~CComApartment()
{
    if (SUCCEEDED(m_hr))
        ::CoUninitialize();
}
