#pragma once

#include <windows.h>

class CInstallStep;
class CRegKey;

// The run list an installer leaves in the registry, read into install steps. Loading makes one
// step per recognised step subkey, in the registry's enumeration order; the display values
// are then copied to the installer's own entry and the loaded step subkeys deleted, so that one
// run list is used by one start of the program.
//
// The steps are never deleted by the list: a worker thread may still be running one when the
// list's owner goes away, and they end with the process.
class CRunList {
public:
    // Step subkeys beyond this many stay in the registry for a later start.
    static constexpr UINT kMaxSteps = 597;

    CRunList();

    CRunList(const CRunList&) = delete;
    CRunList& operator=(const CRunList&) = delete;

    void LoadManifest();
    void WriteDisplayValues();
    void DeleteStepKeys();

    // Runs every loaded step in order on the calling thread, each after the previous one has
    // ended.
    void RunAllSteps();
    // Deletes the loaded steps; only for an owner that knows no thread uses them any more.
    void FreeSteps();

    CInstallStep* m_steps[kMaxSteps];
    UINT m_nSteps;
    char m_szDisplayName[4095];
    char m_szDisplayIcon[4095];
    // Receives the close request when the run list cannot be used, and the "Title" as its
    // window text. Borrowed; NULL when there is no window.
    HWND m_hWndOwner;

private:
    void LoadStep(HKEY hManifestKey, const char* pszKeyName);
    void WriteDisplayValue(CRegKey& displayKey, const char* pszValueName, const char* pszValue);
    void RequestClose() const;
};
