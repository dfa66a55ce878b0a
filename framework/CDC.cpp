#include "framework/CDC.h"

#include "framework/CFont.h"

HFONT CDC::SelectObject(CFont* pFont)
{
    return static_cast<HFONT>(::SelectObject(m_hDC, pFont->GetSafeHandle()));
}
