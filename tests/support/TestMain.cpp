// The main of every test binary: GoogleTest's own, with the watchdog listening to every test.

#include <gtest/gtest.h>

#include "support/Watchdog.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // The listener list owns what it is given; the watchdog must outlive the run, so it is
    // released before the list goes away.
    CWatchdog* pWatchdog = new CWatchdog;
    ::testing::TestEventListeners& listeners = ::testing::UnitTest::GetInstance()->listeners();
    listeners.Append(pWatchdog);
    const int nResult = RUN_ALL_TESTS();
    delete listeners.Release(pWatchdog);
    return nResult;
}
