#pragma once

#include "framework/CString.h"

// Whether a step's command names its program by a full path: a drive letter and a backslash,
// or a network path. Anything else would be looked for by the platform in this program's
// folder, the current directory and PATH.
bool IsFullPath(const char* pszPath);

// The program a step's command names without a full path, looked for only where administrators
// write: the step's setup directory, then the system folder (for a 32-bit program on 64-bit
// Windows, the 32-bit one, which the file system redirector maps the name to). A last part
// without an extension is a program's name, as the platform reads it: ".exe" is added. The full
// path of the file found; empty where there is none.
CString FindStepProgram(const CString& strCommand, const CString& strSetupDir);
