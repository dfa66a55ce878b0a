#pragma once

#include <windows.h>

#include "framework/CString.h"
#include "manifest/CRunListGuard.h"
#include "manifest/RegistryNames.h"

class CInstallStep;
class CRegKey;

// The run list an installer leaves in the registry, read into install steps. Loading makes one
// step per recognised step subkey, in the registry's enumeration order; the display values
// are then copied to the installer's own entry and the loaded step subkeys deleted, so that one
// run list is used by one start of the program. From LoadManifest to the end of DeleteStepKeys
// the list holds a guard that no other start can hold meanwhile.
//
// The list knows nothing of windows: it reports what it found (the list could not be opened, a
// step found no install location, the title read), and its owner decides what that means for
// what it shows. The steps are never deleted by the list: a worker thread may still be running
// one when the list's owner goes away, and they end with the process.
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

    // What LoadManifest and DeleteStepKeys found.
    // The run list could not be opened, to read or to delete its step subkeys, or another start
    // held it all the time this one waited.
    bool CouldNotBeOpened() const
    {
        return m_bNotOpenedToRead || m_bNotOpenedToDelete || m_bLeftToAnotherStart;
    }
    // Another start held the guard all the time this one waited: nothing was read or deleted.
    bool IsLeftToAnotherStart() const { return m_bLeftToAnotherStart; }
    // A step's Load looked for the install location and found none to use.
    bool LacksInstallLocation() const { return m_bNoInstallLocation; }
    // "Title" could be read; GetTitle is then the text read (which may be empty).
    bool HasTitle() const { return m_bHasTitle; }
    const CString& GetTitle() const { return m_strTitle; }
    // False when no step may run: the list could not be opened, or a step would run from a
    // setup directory that is not the product's. The list is consumed all the same.
    bool IsUsable() const { return !CouldNotBeOpened() && !LacksInstallLocation(); }

    // Runs every loaded step in order on the calling thread, each after the previous one has
    // ended.
    void RunAllSteps();
    // Deletes the loaded steps; only for an owner that knows no thread uses them any more.
    void FreeSteps();

    CInstallStep* m_steps[kMaxSteps];
    UINT m_nSteps;
    char m_szDisplayName[kValueSize];
    char m_szDisplayIcon[kValueSize];

private:
    void OpenTraceFile(const CRegKey& manifestKey);
    void LoadStep(HKEY hManifestKey, const char* pszKeyName);
    void WriteDisplayValue(CRegKey& displayKey, const char* pszValueName, const char* pszValue);
    void DeleteLoadedSubkeys();

    CRunListGuard m_guard;
    CString m_strTitle;
    bool m_bHasTitle;
    bool m_bLeftToAnotherStart;
    bool m_bNotOpenedToRead;
    bool m_bNotOpenedToDelete;
    bool m_bNoInstallLocation;
};
