// Starts the benchmark's start-up contenders in rounds and tells how long each took to start its
// step's program, for the start-up ratios. A machine whose speed drifts from one second to the
// next makes every start-up differ by a tenth or more; what tells a ratio apart from a goal a few
// per cent away is many rounds, each of whose starts follow one another closely. So everything a
// start needs is done here, in one process: no Wine process is started between two starts but
// the contender itself.
//
//   bench_rounds ROUNDS SETTLE-MS RECORD INSTALL-LOCATION PROBE PROBE-PARAMETERS NAME=COMMAND...
//
// Before every start a fresh 1-step run list is written (its step runs PROBE with
// PROBE-PARAMETERS, which must make it record its start in RECORD), then SETTLE-MS pass, then
// COMMAND (a whole command line) is started. Every contender gets the same: the run list is
// written for one that reads none as well. Each round starts each contender once, the order
// turned by one every round, so that none always follows the same one. A contender is ended
// once its step's program has started and had a moment to end: the start-up is all that is
// timed.
// Prints "round<TAB>name<TAB>milliseconds" for each start: from just before CreateProcess to the
// start time in RECORD (both system time). Exits with 2 on bad arguments and 1 when a start fails.
// A contender that ends without starting its step's program is started once more, on a fresh run
// list, and the first try said on standard error with its exit code: Wine now and then ends a
// process at its very start without a word (once in some hundreds of starts). A second such end
// in a row, a contender that starts no step in time, or one that cannot be started fails the run.

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "bench/record.h"
#include "bench/runlist.h"

namespace {

// Long enough for the step's program (which ends at once) to have ended, short of the one-second
// poll after which a contender would look at it.
const DWORD kStopGraceMilliseconds = 300;
// No start takes this long; a contender that does is stuck.
const DWORD kTimeoutMilliseconds = 60000;
const DWORD kLookMilliseconds = 5;
const UINT kStoppedExitCode = 0xBE7C;

struct Contender {
    std::string strName;
    std::string strCommandLine;
};

// Wine now and then fails a CreateProcess with ERROR_INTERNAL_ERROR that works when tried again.
bool StartProcess(std::string strCommandLine, PROCESS_INFORMATION* pInfo)
{
    for (int nTry = 0; nTry < 2; ++nTry) {
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        if (CreateProcessA(NULL, &strCommandLine[0], NULL, NULL, FALSE, 0, NULL, NULL, &si, pInfo))
            return true;
        if (GetLastError() != ERROR_INTERNAL_ERROR)
            break;
    }
    return false;
}

enum StartOutcome {
    kStartTimed,
    // The contender ended before its step's program started: worth one more start.
    kEndedBeforeItsStep,
    kStartFailed,
};

// One start. Timed, *pMs is the milliseconds from just before CreateProcess to the step
// program's start; a failure is said on standard error.
StartOutcome TimeOneStart(const Contender& contender, const char* pszRecord, double* pMs)
{
    const ULONGLONG nCreated = RecordClockNow();
    PROCESS_INFORMATION pi = {};
    if (!StartProcess(contender.strCommandLine, &pi)) {
        fprintf(stderr, "%s: cannot start %s: error %lu\n", contender.strName.c_str(),
                contender.strCommandLine.c_str(), static_cast<unsigned long>(GetLastError()));
        return kStartFailed;
    }
    CloseHandle(pi.hThread);
    const DWORD dwStart = GetTickCount();
    ULONGLONG nStarted = 0;
    bool bEnded = false;
    while (nStarted == 0 && GetTickCount() - dwStart < kTimeoutMilliseconds) {
        bEnded = WaitForSingleObject(pi.hProcess, kLookMilliseconds) == WAIT_OBJECT_0;
        nStarted = RecordedStart(pszRecord);
        if (bEnded)
            break;
    }
    if (!bEnded && WaitForSingleObject(pi.hProcess, kStopGraceMilliseconds) != WAIT_OBJECT_0) {
        TerminateProcess(pi.hProcess, kStoppedExitCode);
        WaitForSingleObject(pi.hProcess, INFINITE);
    }
    DWORD dwExitCode = 0;
    GetExitCodeProcess(pi.hProcess, &dwExitCode);
    CloseHandle(pi.hProcess);
    if (nStarted == 0 && bEnded) {
        fprintf(stderr, "%s: ended with exit code 0x%lX without starting its step's program\n",
                contender.strName.c_str(), static_cast<unsigned long>(dwExitCode));
        return kEndedBeforeItsStep;
    }
    if (nStarted == 0) {
        fprintf(stderr, "%s: started no step program in time, and was ended\n",
                contender.strName.c_str());
        return kStartFailed;
    }
    *pMs = static_cast<double>(static_cast<LONGLONG>(nStarted - nCreated)) / 10000.0;
    return kStartTimed;
}

} // namespace

int main(int argc, char** argv)
{
    const int kFirstContender = 7;
    const int nRounds = argc > 1 ? atoi(argv[1]) : 0;
    const int nSettle = argc > 2 ? atoi(argv[2]) : -1;
    std::vector<Contender> contenders;
    for (int i = kFirstContender; i < argc; ++i) {
        const char* pszEquals = strchr(argv[i], '=');
        if (pszEquals == NULL || pszEquals == argv[i] || pszEquals[1] == '\0')
            break;
        Contender contender;
        contender.strName.assign(argv[i], static_cast<size_t>(pszEquals - argv[i]));
        contender.strCommandLine = pszEquals + 1;
        contenders.push_back(contender);
    }
    if (nRounds <= 0 || nSettle < 0 || contenders.empty() ||
        static_cast<int>(contenders.size()) != argc - kFirstContender) {
        fprintf(stderr, "usage: bench_rounds ROUNDS SETTLE-MS RECORD INSTALL-LOCATION PROBE "
                        "PROBE-PARAMETERS NAME=COMMAND...\n");
        return 2;
    }
    const char* pszRecord = argv[3];
    const size_t nContenders = contenders.size();
    for (int nRound = 1; nRound <= nRounds; ++nRound) {
        for (size_t k = 0; k < nContenders; ++k) {
            const Contender& contender =
                contenders[(k + static_cast<size_t>(nRound)) % nContenders];
            double ms = 0;
            StartOutcome outcome = kEndedBeforeItsStep;
            for (int nTry = 1; nTry <= 2 && outcome == kEndedBeforeItsStep; ++nTry) {
                if (nTry > 1)
                    fprintf(stderr, "round %d: %s started once more\n", nRound,
                            contender.strName.c_str());
                if (!WriteRunList(1, argv[4], argv[5], argv[6], NULL))
                    return 1;
                DeleteFileA(pszRecord);
                Sleep(static_cast<DWORD>(nSettle));
                outcome = TimeOneStart(contender, pszRecord, &ms);
            }
            if (outcome != kStartTimed)
                return 1;
            printf("%d\t%s\t%.2f\n", nRound, contender.strName.c_str(), ms);
            fflush(stdout);
        }
    }
    return 0;
}
