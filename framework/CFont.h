#pragma once

#include "framework/CGdiObject.h"

// A font object the wrapper owns and deletes.
class CFont : public CGdiObject<HFONT> {
public:
    BOOL CreateFontIndirect(const LOGFONTA* pLogFont)
    {
        return Attach(::CreateFontIndirectA(pLogFont));
    }
};
