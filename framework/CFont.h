#pragma once

#include <windows.h>

// Owns at most one font object and deletes it on destruction. Attach takes ownership of a
// handle, Detach gives it up. Not copyable: two wrappers would delete one font twice.
class CFont {
public:
    CFont() : m_hObject(NULL) {}
    ~CFont() { DeleteObject(); }

    CFont(const CFont&) = delete;
    CFont& operator=(const CFont&) = delete;

    BOOL CreateFontIndirect(const LOGFONTA* pLogFont);
    // Deletes the font held (if any) and leaves the wrapper empty.
    BOOL DeleteObject();
    BOOL Attach(HFONT hFont);
    HFONT Detach();

    HFONT GetSafeHandle() const { return m_hObject; }
    operator HFONT() const { return m_hObject; }

private:
    HFONT m_hObject;
};
