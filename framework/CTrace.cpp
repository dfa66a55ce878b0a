#include "framework/CTrace.h"

#include <windows.h>

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "framework/AfxText.h"

namespace {

const char kPrefix[] = "FinishInstall: ";
// Debug-output viewers take about 4 KiB a message; a longer command line is cut.
const size_t kLineSize = 4000;
const char kCut[] = "...";

} // namespace

void CTrace::Line(const char* pszFormat, ...)
{
    char szLine[kLineSize];
    const size_t cchPrefix = sizeof kPrefix - 1;
    memcpy(szLine, kPrefix, cchPrefix);

    // Room is kept for the line break and the NUL.
    const size_t cchRoom = kLineSize - cchPrefix - 2;
    // The C runtime's own formatter: it needs no formatting code linked into the program. It
    // reports a cut line with -1 and then leaves the buffer unterminated.
    va_list args;
    va_start(args, pszFormat);
    const int nWritten = _vsnprintf(szLine + cchPrefix, cchRoom + 1, pszFormat, args);
    va_end(args);
    size_t cchText = nWritten < 0 ? cchRoom + 1 : static_cast<size_t>(nWritten);
    if (cchText > cchRoom) {
        const DWORD cchKept = AfxWholeCharactersLength(
            szLine + cchPrefix, static_cast<DWORD>(cchRoom - (sizeof kCut - 1)));
        memcpy(szLine + cchPrefix + cchKept, kCut, sizeof kCut - 1);
        cchText = cchKept + (sizeof kCut - 1);
    }
    szLine[cchPrefix + cchText] = '\n';
    szLine[cchPrefix + cchText + 1] = '\0';
    ::OutputDebugStringA(szLine);
}

const char* CTrace::ErrorText(unsigned long dwError, char* pszBuffer, unsigned long cchBuffer)
{
    if (cchBuffer == 0)
        return "";
    pszBuffer[0] = '\0';
    DWORD cch = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL,
                                 dwError, 0, pszBuffer, cchBuffer, NULL);
    while (cch > 0 && (pszBuffer[cch - 1] == '\n' || pszBuffer[cch - 1] == '\r' ||
                       pszBuffer[cch - 1] == ' ' || pszBuffer[cch - 1] == '.'))
        pszBuffer[--cch] = '\0';
    if (cch == 0)
        ::lstrcpynA(pszBuffer, "no text for this code", static_cast<int>(cchBuffer));
    return pszBuffer;
}
