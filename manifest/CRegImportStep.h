#pragma once

#include "manifest/CInstallStep.h"

// A step that imports a registry file silently: its "command" names the file, and the step
// runs the system's regedit.exe (never one from this program's folder or the current directory)
// with /s and the quoted path.
class CRegImportStep : public CInstallStep {
public:
    explicit CRegImportStep(const CString& strKeyName);

    BOOL Load(HKEY hKey) override;
};
