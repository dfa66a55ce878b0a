// The main of every test binary: GoogleTest's own, with the watchdog listening to every test.

#include <stdio.h>
#include <string.h>

#include <gtest/gtest.h>

#include "support/TestOptions.h"
#include "support/Watchdog.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // What GoogleTest leaves are the tests' own options; one misspelt must not pass unnoticed.
    const char kProgramOption[] = "--program=";
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--expect-double-byte") == 0) {
            SetExpectDoubleByteCodePage();
        } else if (strncmp(argv[i], kProgramOption, sizeof kProgramOption - 1) == 0) {
            if (!SetProgramUnderTest(argv[i] + sizeof kProgramOption - 1)) {
                fprintf(stderr, "--program: no program %s\n", argv[i] + sizeof kProgramOption - 1);
                return 2;
            }
            // In the log, so that a run says which build it tested.
            printf("program under test: %s\n", ProgramUnderTest().c_str());
        } else {
            fprintf(stderr,
                    "unknown option %s (GoogleTest's, --expect-double-byte and --program=PATH)\n",
                    argv[i]);
            return 2;
        }
    }
    // The listener list owns what it is given; the watchdog must outlive the run, so it is
    // released before the list goes away.
    CWatchdog* pWatchdog = new CWatchdog;
    ::testing::TestEventListeners& listeners = ::testing::UnitTest::GetInstance()->listeners();
    listeners.Append(pWatchdog);
    const int nResult = RUN_ALL_TESTS();
    delete listeners.Release(pWatchdog);
    return nResult;
}
