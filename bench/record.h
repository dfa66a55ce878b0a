// The clock the benchmark's programs and childprobe share, and childprobe's record file.

#pragma once

#include <windows.h>

// System time in 100 ns units: the clock of childprobe's --record lines.
ULONGLONG RecordClockNow();

// The start time of a childprobe record file's first line once it is a whole start line, that
// is, once a step's program ran; 0 before.
ULONGLONG RecordedStart(const char* pszRecord);
