#pragma once

#include "framework/CString.h"

// The product's install location, read afresh at every call. When there is none to use (the
// product's entry missing, its "InstallLocation" absent, empty, unreadable or longer than 259
// characters) the run list cannot be used: a close request goes to the main window (if there
// is one), so that no step starts, and the result is empty.
CString GetInstallLocation();

// The install location followed by "\Setup", joined as they are.
CString GetSetupDir();
