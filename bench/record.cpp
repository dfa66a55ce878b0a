#include "bench/record.h"

#include <stdlib.h>
#include <string.h>

ULONGLONG RecordClockNow()
{
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

ULONGLONG RecordedStart(const char* pszRecord)
{
    HANDLE hFile = CreateFileA(pszRecord, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return 0;
    char szHead[64] = "";
    DWORD cbRead = 0;
    ReadFile(hFile, szHead, sizeof szHead - 1, &cbRead, NULL);
    CloseHandle(hFile);
    szHead[cbRead] = '\0';
    // The time is whole only once the tab after it has been written.
    if (strncmp(szHead, "start\t", 6) != 0 || strchr(szHead + 6, '\t') == NULL)
        return 0;
    return _strtoui64(szHead + 6, NULL, 10);
}
