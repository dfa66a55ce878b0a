#pragma once

#include <windows.h>

#include "framework/CString.h"

// One step of the run list: a program to launch and wait for. Load fills it from its registry
// subkey, with the placeholders expanded and the command quoted; Run starts it in the setup
// directory and waits for its end.
class CInstallStep {
public:
    explicit CInstallStep(const CString& strKeyName);
    virtual ~CInstallStep();

    CInstallStep(const CInstallStep&) = delete;
    CInstallStep& operator=(const CInstallStep&) = delete;

    // hKey is the step's subkey, opened for reading by the caller. Returns FALSE only when
    // "command" is present and empty; the step then keeps its defaults.
    virtual BOOL Load(HKEY hKey);
    // Starts the step's program and waits for it; returns its exit code, or STILL_ACTIVE (259)
    // when it was not started or not waited for. Virtual for the step runner's tests, which run
    // steps that start nothing.
    virtual DWORD Run();

    CString GetText() const { return m_strText; }
    CString GetKeyName() const { return m_strKeyName; }

    // What Load made of the step, as Run will use it.
    CString GetCommand() const { return m_strCommand; }
    CString GetParameters() const { return m_strParameters; }
    CString GetWorkingDir() const { return m_strWorkingDir; }
    LONG GetTimeout() const { return m_nTimeout; }
    // The command line Run hands to the new process: the command, one blank, the parameters.
    CString ComposeCommandLine() const { return m_strCommand + " " + m_strParameters; }
    // The program file Run starts; empty when the command names it: by its full path, or by a
    // name that Run looks for in the setup directory and the system folder as it starts.
    CString GetApplicationName() const { return m_strApplicationName; }
    // Why Run will not start this step; empty when it will.
    CString GetRefusal() const { return m_strRefusal; }
    // True when Load looked for the install location and found none to use: the run list the
    // step belongs to must then not be run at all.
    bool LacksInstallLocation() const { return m_bNoInstallLocation; }

protected:
    CString m_strCommand;
    // The command as expanded, before it is quoted: the program to start.
    CString m_strProgram;
    CString m_strParameters;
    CString m_strWorkingDir;
    BYTE m_bWait;
    LONG m_nTimeout; // kept as read; nothing waits on it
    DWORD m_dwCreationFlags;
    // The last launch's process and thread ids; its handles belong to Run alone.
    PROCESS_INFORMATION m_pi;
    STARTUPINFOA m_si;
    CString m_strKeyName;
    CString m_strText;
    // The program file to start, where the command line's first word must not be searched
    // for; empty for the platform's own search.
    CString m_strApplicationName;
    // Set when Load finds the step must never be started (a value that expands beyond any
    // command line, no registry editor to name); the trace gives it as the reason.
    CString m_strRefusal;

private:
    // The install location and the setup directory, each read afresh; a look-up that finds no
    // location marks the step.
    CString ReadInstallLocation();
    CString ReadSetupDir();
    void ResetStartupInfo();
    // The program file and command line Run starts: as Load made them where the command names
    // the program by its full path, otherwise with the program found. False, with the reason
    // traced, where there is no program to start.
    bool ResolveProgram(CString* pstrApplicationName, CString* pstrCommandLine) const;
    // Expands the placeholders in a field; a field that grows beyond a command line's length is
    // emptied and the step marked as never to be started.
    void Expand(CString& strField);
    static DWORD WaitForExit(HANDLE hProcess);

    bool m_bNoInstallLocation;
};
