#pragma once

#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "framework/CWnd.h"

// Handles every message waiting for this thread, for at least dwMilliseconds; paints and other
// generated messages included, so that what a test asserts has been drawn.
void PumpMessagesFor(DWORD dwMilliseconds);

// Takes the close requests (WM_CLOSE) waiting in a window's queue and returns how many there were.
int TakeCloseRequests(HWND hWnd);

// A visible top-level window of a plain class of the tests' own, attached to a framework
// object so that it reflects its children's colour requests. Counts the colour requests it
// receives and the thread they arrive on.
class CTestParent : public CWnd {
public:
    CTestParent() : m_nColourRequests(0), m_dwColourThread(0) {}
    BOOL Create(const char* pszTitle, int nWidth, int nHeight);

    volatile LONG m_nColourRequests;
    DWORD m_dwColourThread;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};

// How wide the text in a rectangle of the screen is drawn: from the leftmost to the rightmost
// column with a pixel clearly darker than the background. The same text drawn bold is wider,
// however it is smoothed.
int MeasureTextWidth(const RECT& rcScreen);
// Saves a rectangle of the screen as a 24-bit BMP.
bool SaveScreenBitmap(const RECT& rcScreen, const std::string& path);

// The font selected into a device context, read back.
LOGFONTA SelectedFont(HDC hDC);
