#pragma once

#include "framework/CString.h"

// The product's install location, read afresh at every call. When the product's entry is
// missing the run list cannot be used: a close request goes to the main window (if there is
// one) and the result is empty. An absent or over-long value also gives the empty string.
CString GetInstallLocation();

// The install location followed by "\Setup", joined as they are.
CString GetSetupDir();
