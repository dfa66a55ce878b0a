#pragma once

#include <string>

// The reliability figures scripts/test.sh shows after a run: what a test proves, in words. A
// test claims its figure when it starts (or again as it counts), and its fixture's TearDown
// reports it: a finding as "checked: <words>" and a line of counts as it is, when every
// assertion of the test held; "FAILED: <words>" when one did not; nothing for a skipped test.
// A test the watchdog ends reports its figure as FAILED.
enum FigureKind { kFinding, kCounts };
void ClaimFigure(const std::string& words, FigureKind kind = kFinding);
// From a fixture's TearDown; bFailed adds a failure of the fixture's own (a count that is not
// zero). The claim is dropped once reported.
void ReportFigure(bool bFailed = false);
// The running test's claim, empty when there is none; safe from any thread.
std::string ClaimedFigure();
