#pragma once

#include <windows.h>

// Owns at most one GDI object (a font, a brush) of handle type T and deletes it on
// destruction. Attach takes ownership of a handle, Detach gives it up. Not copyable: two
// wrappers would delete one object twice.
template <class T> class CGdiObject {
public:
    CGdiObject() : m_hObject(NULL) {}
    ~CGdiObject() { DeleteObject(); }

    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;

    // Deletes the object held (if any) and leaves the wrapper empty.
    BOOL DeleteObject()
    {
        if (m_hObject == NULL)
            return FALSE;
        return ::DeleteObject(Detach());
    }
    // Takes ownership of hObject, deleting the object held before; the handle already held is
    // kept as it is.
    BOOL Attach(T hObject)
    {
        if (hObject != m_hObject) {
            DeleteObject();
            m_hObject = hObject;
        }
        return hObject != NULL;
    }
    T Detach()
    {
        T hObject = m_hObject;
        m_hObject = NULL;
        return hObject;
    }

    T GetSafeHandle() const { return m_hObject; }
    operator T() const { return m_hObject; }

private:
    T m_hObject;
};
