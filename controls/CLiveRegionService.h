#pragma once

#include <windows.h>

#include "framework/CComApartment.h"

struct IAccPropServices;

// Tells assistive technology that a window is a polite live region: a screen reader then says
// its text when the window raises EVENT_OBJECT_LIVEREGIONCHANGED, once it has finished what it
// is saying. It goes through the system's Dynamic Annotation service (IAccPropServices), a COM
// object made on first use from the system's registration, in process. Used only on the thread
// that owns the windows it marks: on first use it puts that thread in a single-threaded
// apartment of its own, left when the service goes.
//
// Where the service cannot be made, or refuses, the windows stay as they are and the trace
// says so once; nothing else changes and no further window is tried. Not copyable: it owns
// its reference to the service.
class CLiveRegionService {
public:
    CLiveRegionService() : m_pServices(NULL), m_bUnavailable(false) {}
    ~CLiveRegionService() { Release(); }

    CLiveRegionService(const CLiveRegionService&) = delete;
    CLiveRegionService& operator=(const CLiveRegionService&) = delete;

    // Marks the client area of hWnd (the part whose text a screen reader reads) as a polite
    // live region. False when the service is missing or refused.
    bool MarkPolite(HWND hWnd);
    // Whether the next MarkPolite has COM and the service to bring in first (a DLL or two to
    // load): false once they are in, or given up.
    bool IsToBeBroughtIn() const { return m_pServices == NULL && !m_bUnavailable; }

private:
    void Release();
    // Traces why screen readers are not told, gives the service up and returns false.
    bool GiveUp(const char* pszWhat, HRESULT hr);

    CComApartment m_apartment;
    IAccPropServices* m_pServices;
    bool m_bUnavailable;
};
