// Writes a run list for the benchmark, as an installer leaves one, in place of any run list
// there was.
//
//   bench_runlist STEPS INSTALL-LOCATION PROGRAM PARAMETERS [TRACE-FILE]
//
// Every one of the STEPS steps runs PROGRAM with PARAMETERS; their subkeys are named so that
// the registry's order is the steps' order. TRACE-FILE, when given, is the run list's TraceFile.
// Exits with 1 when the registry refuses a write.

#include <stdio.h>
#include <stdlib.h>

#include "bench/runlist.h"

int main(int argc, char** argv)
{
    if ((argc != 5 && argc != 6) || atoi(argv[1]) <= 0) {
        fprintf(stderr,
                "usage: bench_runlist STEPS INSTALL-LOCATION PROGRAM PARAMETERS [TRACE-FILE]\n");
        return 2;
    }
    const unsigned nSteps = static_cast<unsigned>(atoi(argv[1]));
    return WriteRunList(nSteps, argv[2], argv[3], argv[4], argc == 6 ? argv[5] : NULL) ? 0 : 1;
}
