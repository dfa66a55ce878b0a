#pragma once

// Message maps: each class that handles messages declares a table of entries, chained to its
// base class's table. An entry names a message (and, for WM_COMMAND, a command id) and a thunk
// that unpacks wParam and lParam into the handler's typed arguments. The thunks are templates
// over the handler's member pointer, so a handler with the wrong signature does not compile.

#include "framework/CDC.h"

class CWnd;

// Returns TRUE when the handler took the message; *pResult is then the message's result.
typedef BOOL (*AFX_MSG_THUNK)(CWnd* pWnd, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage; // 0 ends the table
    UINT nID;      // command id for WM_COMMAND entries, otherwise 0
    AFX_MSG_THUNK pfnThunk;
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

// A child's own messages handed back to it by its parent arrive at this offset, as in the
// framework we model, so they never collide with messages sent to the child itself.
const UINT WM_REFLECT_BASE = 0xBC00;

// Every WM_CTLCOLOR* request a parent hands back arrives as this one message, with the device
// context in wParam and the control-colour type (CTLCOLOR_STATIC and so on) in lParam.
const UINT WM_CTLCOLOR_REFLECT = WM_REFLECT_BASE + 0x0019;

// CWnd* pointers for window handles we do not own as objects are not made up: the thunks pass
// the object attached to the handle, or NULL.
CWnd* AfxWndFromHandle(HWND hWnd);

namespace AfxThunk {

template <class T, void (T::*pfn)()> BOOL Void(CWnd* pWnd, WPARAM, LPARAM, LRESULT* pResult)
{
    (static_cast<T*>(pWnd)->*pfn)();
    *pResult = 0;
    return TRUE;
}

template <class T, HCURSOR (T::*pfn)()> BOOL Cursor(CWnd* pWnd, WPARAM, LPARAM, LRESULT* pResult)
{
    *pResult = reinterpret_cast<LRESULT>((static_cast<T*>(pWnd)->*pfn)());
    return TRUE;
}

template <class T, void (T::*pfn)(UINT, CWnd*)>
BOOL UintWnd(CWnd* pWnd, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    (static_cast<T*>(pWnd)->*pfn)(static_cast<UINT>(wParam),
                                  AfxWndFromHandle(reinterpret_cast<HWND>(lParam)));
    *pResult = 0;
    return TRUE;
}

// WM_CHAR: character code, repeat count (low word of lParam), key flags (high word).
template <class T, void (T::*pfn)(UINT, UINT, UINT)>
BOOL Char(CWnd* pWnd, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    (static_cast<T*>(pWnd)->*pfn)(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
    *pResult = 0;
    return TRUE;
}

template <class T, void (T::*pfn)(UINT_PTR)>
BOOL Timer(CWnd* pWnd, WPARAM wParam, LPARAM, LRESULT* pResult)
{
    (static_cast<T*>(pWnd)->*pfn)(static_cast<UINT_PTR>(wParam));
    *pResult = 0;
    return TRUE;
}

template <class T, void (T::*pfn)(UINT, POINT)>
BOOL Mouse(CWnd* pWnd, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    POINT pt = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    (static_cast<T*>(pWnd)->*pfn)(static_cast<UINT>(wParam), pt);
    *pResult = 0;
    return TRUE;
}

// WM_SETCURSOR: the window under the cursor, the hit-test code, the mouse message.
template <class T, BOOL (T::*pfn)(CWnd*, UINT, UINT)>
BOOL SetCursor(CWnd* pWnd, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    *pResult = (static_cast<T*>(pWnd)->*pfn)(AfxWndFromHandle(reinterpret_cast<HWND>(wParam)),
                                             LOWORD(lParam), HIWORD(lParam));
    return TRUE;
}

template <class T, LRESULT (T::*pfn)(WPARAM, LPARAM)>
BOOL Message(CWnd* pWnd, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    *pResult = (static_cast<T*>(pWnd)->*pfn)(wParam, lParam);
    return TRUE;
}

// A reflected colour request: the parent's device context and the control-colour type. A NULL
// brush means the child did not answer, and the parent's own handling runs.
template <class T, HBRUSH (T::*pfn)(CDC*, UINT)>
BOOL CtlColorReflect(CWnd* pWnd, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    CDC dc(reinterpret_cast<HDC>(wParam));
    HBRUSH hBrush = (static_cast<T*>(pWnd)->*pfn)(&dc, static_cast<UINT>(lParam));
    *pResult = reinterpret_cast<LRESULT>(hBrush);
    return hBrush != NULL;
}

} // namespace AfxThunk

// In a class derived from CWnd: declares its table and overrides the accessor CWnd declares for
// the root of every chain, so that an accessor whose signature drifts stops the build instead of
// leaving the table unread.
#define DECLARE_MESSAGE_MAP()                                                                      \
protected:                                                                                         \
    static const AFX_MSGMAP* GetThisMessageMap();                                                  \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                                     \
    const AFX_MSGMAP* theClass::GetMessageMap() const                                              \
    {                                                                                              \
        return GetThisMessageMap();                                                                \
    }                                                                                              \
    const AFX_MSGMAP* theClass::GetThisMessageMap()                                                \
    {                                                                                              \
        typedef theClass ThisClass;                                                                \
        typedef baseClass TheBaseClass;                                                            \
        static const AFX_MSGMAP_ENTRY _messageEntries[] = {

#define END_MESSAGE_MAP()                                                                          \
    {                                                                                              \
        0, 0, NULL                                                                                 \
    }                                                                                              \
    }                                                                                              \
    ;                                                                                              \
    static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]};  \
    return &messageMap;                                                                            \
    }

// void OnPaint()
#define ON_WM_PAINT() {WM_PAINT, 0, &AfxThunk::Void<ThisClass, &ThisClass::OnPaint>},
// HCURSOR OnQueryDragIcon()
#define ON_WM_QUERYDRAGICON()                                                                      \
    {WM_QUERYDRAGICON, 0, &AfxThunk::Cursor<ThisClass, &ThisClass::OnQueryDragIcon>},
// void OnEnterIdle(UINT nWhy, CWnd* pWho)
#define ON_WM_ENTERIDLE() {WM_ENTERIDLE, 0, &AfxThunk::UintWnd<ThisClass, &ThisClass::OnEnterIdle>},
// void OnChar(UINT nChar, UINT nRepCnt, UINT nFlags)
#define ON_WM_CHAR() {WM_CHAR, 0, &AfxThunk::Char<ThisClass, &ThisClass::OnChar>},
// void OnTimer(UINT_PTR nIDEvent)
#define ON_WM_TIMER() {WM_TIMER, 0, &AfxThunk::Timer<ThisClass, &ThisClass::OnTimer>},
// void OnLButtonDown(UINT nFlags, POINT point)
#define ON_WM_LBUTTONDOWN()                                                                        \
    {WM_LBUTTONDOWN, 0, &AfxThunk::Mouse<ThisClass, &ThisClass::OnLButtonDown>},
// BOOL OnSetCursor(CWnd* pWnd, UINT nHitTest, UINT message)
#define ON_WM_SETCURSOR()                                                                          \
    {WM_SETCURSOR, 0, &AfxThunk::SetCursor<ThisClass, &ThisClass::OnSetCursor>},
// HBRUSH CtlColor(CDC* pDC, UINT nCtlColor), for the colour request the parent hands back
#define ON_WM_CTLCOLOR_REFLECT()                                                                   \
    {WM_CTLCOLOR_REFLECT, 0, &AfxThunk::CtlColorReflect<ThisClass, &ThisClass::CtlColor>},
// void memberFxn(), for a WM_COMMAND with this id
#define ON_COMMAND(id, memberFxn) {WM_COMMAND, (id), &AfxThunk::Void<ThisClass, &memberFxn>},
// LRESULT memberFxn(WPARAM wParam, LPARAM lParam)
#define ON_MESSAGE(message, memberFxn) {(message), 0, &AfxThunk::Message<ThisClass, &memberFxn>},
