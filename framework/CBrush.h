#pragma once

#include "framework/CGdiObject.h"

// A brush object the wrapper owns and deletes.
class CBrush : public CGdiObject<HBRUSH> {
public:
    BOOL CreateSolidBrush(COLORREF color) { return Attach(::CreateSolidBrush(color)); }
};
