#include "support/TestWindows.h"

#include <algorithm>
#include <fstream>
#include <vector>

void PumpMessagesFor(DWORD dwMilliseconds)
{
    const DWORD dwStart = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT);
    } while (GetTickCount() - dwStart < dwMilliseconds);
}

int TakeCloseRequests(HWND hWnd)
{
    int nRequests = 0;
    MSG msg;
    while (PeekMessageA(&msg, hWnd, WM_CLOSE, WM_CLOSE, PM_REMOVE))
        ++nRequests;
    return nRequests;
}

BOOL CTestParent::Create(const char* pszTitle, int nWidth, int nHeight)
{
    static const char kClassName[] = "FinishInstallTestParent";
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ::DefWindowProcA;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.hCursor = LoadCursor(NULL, IDC_ARROW);
    wc.lpszClassName = kClassName;
    RegisterClassA(&wc); // fails harmlessly when already registered
    HWND hWnd = CreateWindowExA(0, kClassName, pszTitle, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50,
                                nWidth, nHeight, NULL, NULL, GetModuleHandleA(NULL), NULL);
    return hWnd != NULL && SubclassWindow(hWnd);
}

LRESULT CTestParent::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CTLCOLORSTATIC) {
        InterlockedIncrement(&m_nColourRequests);
        m_dwColourThread = GetCurrentThreadId();
    }
    return CWnd::WindowProc(message, wParam, lParam);
}

namespace {

// The screen's pixels in a rectangle as 32-bit BGRX, top row first.
std::vector<DWORD> CaptureScreen(const RECT& rc)
{
    const int nWidth = rc.right - rc.left, nHeight = rc.bottom - rc.top;
    std::vector<DWORD> pixels;
    if (nWidth <= 0 || nHeight <= 0)
        return pixels;
    pixels.resize(static_cast<size_t>(nWidth) * nHeight);
    HDC hScreen = GetDC(NULL);
    HDC hMem = CreateCompatibleDC(hScreen);
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
    bmi.bmiHeader.biWidth = nWidth;
    bmi.bmiHeader.biHeight = -nHeight;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    void* pBits = NULL;
    HBITMAP hBitmap = CreateDIBSection(hScreen, &bmi, DIB_RGB_COLORS, &pBits, NULL, 0);
    HGDIOBJ hOld = SelectObject(hMem, hBitmap);
    BitBlt(hMem, 0, 0, nWidth, nHeight, hScreen, rc.left, rc.top, SRCCOPY);
    GdiFlush();
    memcpy(&pixels[0], pBits, pixels.size() * sizeof(DWORD));
    SelectObject(hMem, hOld);
    DeleteObject(hBitmap);
    DeleteDC(hMem);
    ReleaseDC(NULL, hScreen);
    return pixels;
}

} // namespace

int MeasureTextWidth(const RECT& rcScreen)
{
    const int nWidth = rcScreen.right - rcScreen.left;
    const std::vector<DWORD> pixels = CaptureScreen(rcScreen);
    std::vector<int> levels;
    int nBackground = 0;
    for (DWORD pixel : pixels) {
        const int nLevel =
            static_cast<int>((pixel & 0xff) + ((pixel >> 8) & 0xff) + ((pixel >> 16) & 0xff));
        levels.push_back(nLevel);
        nBackground = std::max(nBackground, nLevel);
    }
    const int kClearlyDarker = 3 * 80;
    int nLeft = nWidth, nRight = -1;
    for (size_t i = 0; i < levels.size(); ++i) {
        if (nBackground - levels[i] < kClearlyDarker)
            continue;
        const int x = static_cast<int>(i % nWidth);
        nLeft = std::min(nLeft, x);
        nRight = std::max(nRight, x);
    }
    return nRight < 0 ? 0 : nRight - nLeft + 1;
}

bool SaveScreenBitmap(const RECT& rcScreen, const std::string& path)
{
    const int nWidth = rcScreen.right - rcScreen.left, nHeight = rcScreen.bottom - rcScreen.top;
    std::vector<DWORD> pixels = CaptureScreen(rcScreen);
    if (pixels.empty())
        return false;
    const int nStride = (nWidth * 3 + 3) & ~3;
    BITMAPFILEHEADER bfh = {};
    BITMAPINFOHEADER bih = {};
    bih.biSize = sizeof bih;
    bih.biWidth = nWidth;
    bih.biHeight = nHeight;
    bih.biPlanes = 1;
    bih.biBitCount = 24;
    bih.biSizeImage = nStride * nHeight;
    bfh.bfType = 0x4d42;
    bfh.bfOffBits = sizeof bfh + sizeof bih;
    bfh.bfSize = bfh.bfOffBits + bih.biSizeImage;
    std::ofstream out(path.c_str(), std::ios::binary);
    out.write(reinterpret_cast<const char*>(&bfh), sizeof bfh);
    out.write(reinterpret_cast<const char*>(&bih), sizeof bih);
    std::vector<char> row(nStride, 0);
    for (int y = nHeight - 1; y >= 0; --y) {
        for (int x = 0; x < nWidth; ++x) {
            const DWORD pixel = pixels[static_cast<size_t>(y) * nWidth + x];
            row[x * 3] = static_cast<char>(pixel & 0xff);
            row[x * 3 + 1] = static_cast<char>((pixel >> 8) & 0xff);
            row[x * 3 + 2] = static_cast<char>((pixel >> 16) & 0xff);
        }
        out.write(&row[0], nStride);
    }
    return static_cast<bool>(out);
}

LOGFONTA SelectedFont(HDC hDC)
{
    LOGFONTA lf = {};
    GetObjectA(GetCurrentObject(hDC, OBJ_FONT), sizeof lf, &lf);
    return lf;
}
