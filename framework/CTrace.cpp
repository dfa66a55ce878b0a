#include "framework/CTrace.h"

#include <windows.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "framework/AfxText.h"
#include "framework/CHandle.h"

namespace {

const char kPrefix[] = "FinishInstall: ";
// Debug-output viewers take about 4 KiB a message; a longer command line is cut.
const size_t kLineSize = 4000;
const char kCut[] = "...";

// "YYYY-MM-DD hh:mm:ss.mmm " before each line in the file, which ends in CR LF there, as
// Windows' own text files do.
const size_t kStampLength = 24;
const size_t kFileLineSize = kStampLength + kLineSize + 1;
// The lines before the run list names the file: the guard's, the run list's values (three of
// them may take 4 KiB each) and the install location's. Lines beyond are dropped, and counted.
const size_t kHeldSize = 6 * kLineSize;
// The longest path an ANSI file function takes.
const size_t kMaxPathLength = MAX_PATH - 1;
const int kReasonSize = 320;

// Never closed: the worker may trace up to the end of the process, which closes it.
HANDLE g_hFile = INVALID_HANDLE_VALUE;
// kHeldSize bytes while lines are held, from the heap: a static buffer would take its size in
// the program's file.
char* g_pHeld = NULL;
size_t g_cbHeld = 0;
unsigned g_nDropped = 0;
// The window's thread and the worker both trace while a step starts: each line goes to the debug
// output and to the file under one lock, so that the two hold the lines in the same order.
SRWLOCK g_lineLock = SRWLOCK_INIT;

// The prefix, the text (cut to fit), a line break and the NUL; returns the length with the
// line break.
size_t FormatLine(char* pszLine, const char* pszFormat, va_list args)
{
    const size_t cchPrefix = sizeof kPrefix - 1;
    memcpy(pszLine, kPrefix, cchPrefix);
    // Room is kept for the line break and the NUL.
    const size_t cchRoom = kLineSize - cchPrefix - 2;
    // The C runtime's own formatter: it needs no formatting code linked into the program. It
    // reports a cut line with -1 and then leaves the buffer unterminated.
    const int nWritten = _vsnprintf(pszLine + cchPrefix, cchRoom + 1, pszFormat, args);
    size_t cchText = nWritten < 0 ? cchRoom + 1 : static_cast<size_t>(nWritten);
    if (cchText > cchRoom) {
        const DWORD cchKept = AfxWholeCharactersLength(
            pszLine + cchPrefix, static_cast<DWORD>(cchRoom - (sizeof kCut - 1)));
        memcpy(pszLine + cchPrefix + cchKept, kCut, sizeof kCut - 1);
        cchText = cchKept + (sizeof kCut - 1);
    }
    pszLine[cchPrefix + cchText] = '\n';
    pszLine[cchPrefix + cchText + 1] = '\0';
    return cchPrefix + cchText + 1;
}

// The line, with its line break, into the file or among the held lines, after the local time.
// The bytes are the program's text as it is, in its code page, which the run's first line in
// the file names.
void ToFile(const char* pszLine, size_t cchLine)
{
    if (g_hFile == INVALID_HANDLE_VALUE && g_pHeld == NULL)
        return;
    char szFileLine[kFileLineSize];
    SYSTEMTIME st;
    ::GetLocalTime(&st);
    _snprintf(szFileLine, kStampLength + 1, "%04d-%02d-%02d %02d:%02d:%02d.%03d ", st.wYear,
              st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
    memcpy(szFileLine + kStampLength, pszLine, cchLine - 1);
    memcpy(szFileLine + kStampLength + cchLine - 1, "\r\n", 2);
    const size_t cb = kStampLength + cchLine + 1;
    if (g_hFile != INVALID_HANDLE_VALUE) {
        // A write that fails is passed over: the file never changes the run.
        DWORD cbWritten;
        ::WriteFile(g_hFile, szFileLine, static_cast<DWORD>(cb), &cbWritten, NULL);
    } else if (g_cbHeld + cb <= kHeldSize) {
        memcpy(g_pHeld + g_cbHeld, szFileLine, cb);
        g_cbHeld += cb;
    } else {
        ++g_nDropped;
    }
}

void SetReason(char* pszReason, const char* pszText)
{
    ::lstrcpynA(pszReason, pszText, kReasonSize);
}

// A drive's path or a share's. Not a relative one, which would land wherever the current
// directory is, nor one in the device namespaces ("\\.\", "\\?\"), which reach volumes and
// devices.
bool IsFullPath(const char* psz)
{
    const bool bDrive = (psz[0] >= 'A' && psz[0] <= 'Z') || (psz[0] >= 'a' && psz[0] <= 'z');
    if (bDrive && psz[1] == ':' && (psz[2] == '\\' || psz[2] == '/'))
        return true;
    return psz[0] == '\\' && psz[1] == '\\' && psz[2] != '\0' && psz[2] != '\\' && psz[2] != '.' &&
           psz[2] != '?';
}

// Opens the file for appending only, or says why not into pszReason. The program runs with an
// installer's rights while users may write the folder, so the path is not followed when it is
// a link of any kind, and anything but a plain file of its own is refused: what is written
// must never land in another file.
HANDLE OpenForAppending(const char* pszPath, char* pszReason)
{
    if (strlen(pszPath) > kMaxPathLength) {
        _snprintf(pszReason, kReasonSize - 1, "its path is longer than %u characters",
                  static_cast<unsigned>(kMaxPathLength));
        return INVALID_HANDLE_VALUE;
    }
    if (!IsFullPath(pszPath)) {
        SetReason(pszReason, "it is not a full path on a drive or a share");
        return INVALID_HANDLE_VALUE;
    }
    // OPEN_ALWAYS makes the file but never a folder.
    CHandle file(::CreateFileA(pszPath, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, FILE_SHARE_READ,
                               NULL, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, NULL));
    if (static_cast<HANDLE>(file) == INVALID_HANDLE_VALUE) {
        file.Detach();
        const DWORD dwError = ::GetLastError();
        const DWORD dwAttributes = ::GetFileAttributesA(pszPath);
        char szError[256];
        if (dwError == ERROR_PATH_NOT_FOUND)
            SetReason(pszReason, "its folder does not exist");
        else if (dwAttributes != INVALID_FILE_ATTRIBUTES &&
                 (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            SetReason(pszReason, "it is a folder");
        else
            _snprintf(pszReason, kReasonSize - 1, "it cannot be opened (error %lu: %s)", dwError,
                      CTrace::ErrorText(dwError, szError, sizeof szError));
        return INVALID_HANDLE_VALUE;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (::GetFileType(file) != FILE_TYPE_DISK)
        SetReason(pszReason, "it is not a file on a disk");
    else if (!::GetFileInformationByHandle(file, &info))
        _snprintf(pszReason, kReasonSize - 1, "its attributes cannot be read (error %lu)",
                  ::GetLastError());
    else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        SetReason(pszReason, "it is a folder");
    else if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        SetReason(pszReason, "it is a reparse point (a link)");
    else if (info.nNumberOfLinks > 1)
        _snprintf(pszReason, kReasonSize - 1, "it has %lu hard links: other names of one file",
                  info.nNumberOfLinks);
    else
        return file.Detach();
    return INVALID_HANDLE_VALUE;
}

} // namespace

void CTrace::Line(const char* pszFormat, ...)
{
    char szLine[kLineSize];
    va_list args;
    va_start(args, pszFormat);
    const size_t cchLine = FormatLine(szLine, pszFormat, args);
    va_end(args);
    ::AcquireSRWLockExclusive(&g_lineLock);
    ::OutputDebugStringA(szLine);
    ToFile(szLine, cchLine);
    ::ReleaseSRWLockExclusive(&g_lineLock);
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

void CTrace::HoldForFile(const char* pszFirstLine, ...)
{
    // Without the memory no line is held, and the run goes on as ever.
    if (g_pHeld == NULL)
        g_pHeld = static_cast<char*>(malloc(kHeldSize));
    g_cbHeld = 0;
    g_nDropped = 0;
    char szLine[kLineSize];
    va_list args;
    va_start(args, pszFirstLine);
    const size_t cchLine = FormatLine(szLine, pszFirstLine, args);
    va_end(args);
    ToFile(szLine, cchLine);
}

void CTrace::AppendToFile(const char* pszPath)
{
    // The held lines go to the file, where there is one, and are let go either way.
    char* const pHeld = g_pHeld;
    g_pHeld = NULL;
    char szReason[kReasonSize];
    szReason[kReasonSize - 1] = '\0';
    const HANDLE hFile =
        pszPath[0] != '\0' ? OpenForAppending(pszPath, szReason) : INVALID_HANDLE_VALUE;
    if (hFile != INVALID_HANDLE_VALUE && pHeld != NULL) {
        DWORD cbWritten;
        ::WriteFile(hFile, pHeld, static_cast<DWORD>(g_cbHeld), &cbWritten, NULL);
    }
    free(pHeld);
    if (pszPath[0] == '\0')
        return;
    if (hFile == INVALID_HANDLE_VALUE) {
        Line("trace file \"%s\" refused: %s; the run goes on without it", pszPath, szReason);
        return;
    }
    g_hFile = hFile;
    Line("trace file \"%s\" opened: every line of the run is appended to it", pszPath);
    if (g_nDropped > 0)
        Line("%u earlier lines are not in the trace file: more than it could hold before it "
             "was opened",
             g_nDropped);
}
