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
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--expect-double-byte") == 0) {
            SetExpectDoubleByteCodePage();
        } else {
            fprintf(stderr, "unknown option %s (GoogleTest's, and --expect-double-byte)\n",
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
