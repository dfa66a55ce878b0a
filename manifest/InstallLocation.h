#pragma once

#include "framework/CString.h"

// The product's install location, read afresh at every call; empty when there is none to use
// (the product's entry missing, its "InstallLocation" absent, empty, unreadable or longer than
// 259 characters). Steps must not start then: every one would run from "\Setup" at the root of
// the current drive, where any user may put a program for this one to start with an
// installer's rights.
CString GetInstallLocation();

// The install location followed by "\Setup", joined as they are.
CString GetSetupDir();
