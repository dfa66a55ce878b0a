// Starts one program for the benchmark and tells when it was started, when it ended and how much
// memory it used at most.
//
//   bench_launcher [--stop-after-start RECORD] PROGRAM [ARGUMENT...]
//
// Prints "name<TAB>value" lines on standard output:
//   created  system time just before CreateProcess, in 100 ns units: the clock childprobe's
//            --record file uses, so the two can be subtracted
//   returned system time when CreateProcess returned (under Wine it waits for the new process
//            to be set up, so this tells what starting a process costs the caller)
//   ended    system time when the wait saw the process end, or when it was stopped
//   peak     the process's peak working set in bytes (0 when it could not be read)
//   exit     its exit code
//   stopped  1 when the launcher ended it, 0 when it ended by itself
// With --stop-after-start the program is ended a short while after RECORD shows a childprobe
// start line, so that a long run list need not run to its end for its start-up to be measured.
// Exits with 2 on bad arguments, 3 when the program could not be started, 4 when it was ended
// for taking too long.

#include <windows.h>

#include <psapi.h>

#include <stdio.h>
#include <string.h>

#include <string>

#include "bench/record.h"

namespace {

// Under Wine a process's counters can only be read while it lives (they come from the Linux
// process, which is gone once it has ended), so they are read throughout the run. The peak
// is kept by the system itself, so the interval bounds only what the last moments may add.
const DWORD kSampleMilliseconds = 20;
// Long enough for the first step's line to be switched to bold and its program to be waited
// for, short of the one-second poll that would start the second step.
const DWORD kStopGraceMilliseconds = 500;
// No benchmark run takes this long; a program that does is stuck.
const DWORD kTimeoutMilliseconds = 120000;
const UINT kStoppedExitCode = 0xBE7C;

// One argument as the C runtime's command-line parser will read it back: quoted where it holds
// blanks or quotes, with the backslashes before a quote doubled.
std::string QuoteArgument(const char* pszArgument)
{
    if (*pszArgument != '\0' && strpbrk(pszArgument, " \t\"") == NULL)
        return pszArgument;
    std::string quoted = "\"";
    size_t nBackslashes = 0;
    for (const char* p = pszArgument; *p != '\0'; ++p) {
        if (*p == '\\') {
            ++nBackslashes;
            continue;
        }
        quoted.append(*p == '"' ? 2 * nBackslashes + 1 : nBackslashes, '\\');
        quoted += *p;
        nBackslashes = 0;
    }
    quoted.append(2 * nBackslashes, '\\');
    return quoted + "\"";
}

SIZE_T ReadPeakWorkingSet(HANDLE hProcess)
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(hProcess, &counters, sizeof counters))
        return 0;
    return counters.PeakWorkingSetSize;
}

struct RunResult {
    ULONGLONG nCreated;
    ULONGLONG nReturned;
    ULONGLONG nEnded;
    SIZE_T cbPeak;
    DWORD dwExitCode;
    bool bStopped;
};

// Waits for the process to end (or stops it as asked) while sampling its peak working set.
// False when it had to be ended for taking too long.
bool WatchProcess(HANDLE hProcess, const char* pszStopRecord, RunResult* pResult)
{
    const DWORD dwStart = GetTickCount();
    DWORD dwStartSeen = 0;
    bool bStartSeen = false;
    for (;;) {
        const SIZE_T cbPeak = ReadPeakWorkingSet(hProcess);
        if (cbPeak > pResult->cbPeak)
            pResult->cbPeak = cbPeak;
        if (WaitForSingleObject(hProcess, kSampleMilliseconds) == WAIT_OBJECT_0) {
            pResult->nEnded = RecordClockNow();
            return true;
        }
        if (pszStopRecord != NULL && !bStartSeen && RecordedStart(pszStopRecord) != 0) {
            bStartSeen = true;
            dwStartSeen = GetTickCount();
        }
        const bool bStop = bStartSeen && GetTickCount() - dwStartSeen >= kStopGraceMilliseconds;
        const bool bTimedOut = GetTickCount() - dwStart >= kTimeoutMilliseconds;
        if (bStop || bTimedOut) {
            const SIZE_T cbLast = ReadPeakWorkingSet(hProcess);
            if (cbLast > pResult->cbPeak)
                pResult->cbPeak = cbLast;
            pResult->nEnded = RecordClockNow();
            pResult->bStopped = true;
            TerminateProcess(hProcess, kStoppedExitCode);
            WaitForSingleObject(hProcess, INFINITE);
            return !bTimedOut;
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    const char* pszStopRecord = NULL;
    int iProgram = 1;
    if (argc > 2 && strcmp(argv[1], "--stop-after-start") == 0) {
        pszStopRecord = argv[2];
        iProgram = 3;
    }
    if (iProgram >= argc) {
        fprintf(stderr,
                "usage: bench_launcher [--stop-after-start RECORD] PROGRAM [ARGUMENT...]\n");
        return 2;
    }
    std::string commandLine = QuoteArgument(argv[iProgram]);
    for (int i = iProgram + 1; i < argc; ++i)
        commandLine += " " + QuoteArgument(argv[i]);

    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    RunResult result = {};
    result.nCreated = RecordClockNow();
    if (!CreateProcessA(NULL, &commandLine[0], NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) {
        fprintf(stderr, "cannot start %s: error %lu\n", argv[iProgram],
                static_cast<unsigned long>(GetLastError()));
        return 3;
    }
    result.nReturned = RecordClockNow();
    CloseHandle(pi.hThread);
    const bool bInTime = WatchProcess(pi.hProcess, pszStopRecord, &result);
    GetExitCodeProcess(pi.hProcess, &result.dwExitCode);
    // On Windows the counters outlive the process, and this last reading is the whole run's.
    const SIZE_T cbFinal = ReadPeakWorkingSet(pi.hProcess);
    if (cbFinal > result.cbPeak)
        result.cbPeak = cbFinal;
    CloseHandle(pi.hProcess);

    printf("created\t%llu\nreturned\t%llu\nended\t%llu\npeak\t%llu\nexit\t%lu\nstopped\t%d\n",
           result.nCreated, result.nReturned, result.nEnded,
           static_cast<unsigned long long>(result.cbPeak),
           static_cast<unsigned long>(result.dwExitCode), result.bStopped ? 1 : 0);
    if (!bInTime) {
        fprintf(stderr, "%s took more than %lu ms and was ended\n", argv[iProgram],
                static_cast<unsigned long>(kTimeoutMilliseconds));
        return 4;
    }
    return 0;
}
