// Keeps the Wine session's desktop while a benchmark runs.
//
//   bench_desktop
//
// Wine's desktop process (explorer.exe) ends about a second after the last program with a
// window has gone, and the next such program starts it again, which costs a start-up some
// 200 ms. Windows' desktop never ends. Between the benchmark's runs there is sometimes more
// than that second and sometimes less, so without this process some starts would pay for the
// desktop and others not. It holds one message-only window, which has nothing on screen, writes
// "ready" once that window exists (so the desktop does too), and waits until it is ended.

#include <windows.h>

#include <stdio.h>

int main()
{
    HWND hWnd = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                                GetModuleHandleA(NULL), NULL);
    if (hWnd == NULL) {
        fprintf(stderr, "bench_desktop: no window (error %lu)\n", GetLastError());
        return 1;
    }
    printf("ready\n");
    fflush(stdout);
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0)
        DispatchMessageA(&msg);
    return 0;
}
