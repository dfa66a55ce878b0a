#include "framework/CFont.h"

BOOL CFont::CreateFontIndirect(const LOGFONTA* pLogFont)
{
    return Attach(::CreateFontIndirectA(pLogFont));
}

BOOL CFont::DeleteObject()
{
    if (m_hObject == NULL)
        return FALSE;
    return ::DeleteObject(Detach());
}

BOOL CFont::Attach(HFONT hFont)
{
    DeleteObject();
    m_hObject = hFont;
    return hFont != NULL;
}

HFONT CFont::Detach()
{
    HFONT hFont = m_hObject;
    m_hObject = NULL;
    return hFont;
}
