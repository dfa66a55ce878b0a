#include "controls/CLiveRegionService.h"

#include <objbase.h>
#include <oleacc.h>
#include <string.h>

#include "framework/CTrace.h"

namespace {

// The service's class and interface, and the property, as the platform's headers name them
// (CLSID_AccPropServices, IID_IAccPropServices, LiveSetting_Property_GUID). They are written
// out here so that the program links against no oleacc library: oleacc.dll is no known DLL,
// and it is loaded only by COM, from the path the system registered.
const CLSID kClsidAccPropServices = {
    0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
const IID kIidAccPropServices = {
    0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};
const GUID kLiveSettingProperty = {
    0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};
// UI Automation's LiveSetting value Polite: said once the reader has finished, not at once.
const LONG kLiveSettingPolite = 1;

} // namespace

bool CLiveRegionService::MarkPolite(HWND hWnd)
{
    // A line whose window was not made has nothing to mark, and says nothing of the service.
    if (m_bUnavailable || hWnd == NULL)
        return false;
    if (m_pServices == NULL) {
        const HRESULT hrEntered = m_apartment.Enter();
        if (FAILED(hrEntered))
            return GiveUp("COM is not there for the window's thread", hrEntered);
        const HRESULT hr =
            m_apartment.CreateInstance(kClsidAccPropServices, CLSCTX_INPROC_SERVER,
                                       kIidAccPropServices, reinterpret_cast<void**>(&m_pServices));
        if (FAILED(hr)) {
            m_pServices = NULL;
            return GiveUp("the annotation service is not there", hr);
        }
    }
    // A VT_I4 needs nothing freed, so no VariantClear (and no oleaut32) is needed.
    VARIANT value;
    memset(&value, 0, sizeof value);
    V_VT(&value) = VT_I4;
    V_I4(&value) = kLiveSettingPolite;
    const HRESULT hr = m_pServices->SetHwndProp(hWnd, static_cast<DWORD>(OBJID_CLIENT),
                                                CHILDID_SELF, kLiveSettingProperty, value);
    if (FAILED(hr))
        return GiveUp("the annotation service refused SetHwndProp", hr);
    return true;
}

// The annotations are not cleared: the lines end with the dialog, the dialog with the program,
// and what the service keeps for them with the process. The apartment is left after this, as
// the members go.
void CLiveRegionService::Release()
{
    if (m_pServices != NULL) {
        m_pServices->Release();
        m_pServices = NULL;
    }
}

bool CLiveRegionService::GiveUp(const char* pszWhat, HRESULT hr)
{
    char szError[256];
    CTrace::Line("lines not marked as live regions for screen readers: %s (error 0x%08lX: %s)",
                 pszWhat, static_cast<unsigned long>(hr),
                 CTrace::ErrorText(static_cast<unsigned long>(hr), szError, sizeof szError));
    m_bUnavailable = true;
    Release();
    return false;
}
