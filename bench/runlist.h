// A run list as an installer leaves one, written for the benchmark in place of any there was.

#pragma once

// Every one of the nSteps steps runs pszProgram with pszParameters; their subkeys are named so
// that the registry's order is the steps' order. pszTraceFile, where not NULL, is the run list's
// TraceFile. False when the registry refuses a write, which is said on standard error.
bool WriteRunList(unsigned nSteps, const char* pszInstallLocation, const char* pszProgram,
                  const char* pszParameters, const char* pszTraceFile);
