#pragma once

// One line per decision on the platform's debug output, where a debugger or a debug-output
// viewer shows it; writing costs next to nothing when nobody listens. Every line starts with
// "FinishInstall: " so that a viewer can filter on it. The trace changes nothing the program
// does.
//
// Where the run names a trace file, every line also goes to that file as it is traced, after
// its local time: one WriteFile a line, so that a run that is killed leaves every line so far.
// The file is named only once a run has read its run list, so the lines before are held until
// then. The file is settled before a second thread traces, and then only read. Lines traced
// by two threads at once reach the debug output and the file in the same order.
class CTrace {
public:
    // printf-style; a line longer than the buffer is cut and ends in "...".
    static void Line(const char* pszFormat, ...);

    // The system's text for an error code, without its line break, into a buffer of its own.
    static const char* ErrorText(unsigned long dwError, char* pszBuffer, unsigned long cchBuffer);

    // From now on lines are held (up to a bound) for a file that AppendToFile may name. The
    // first line, printf-style and time-stamped now, opens what the file gets: it is for the
    // file alone, not for the debug output.
    static void HoldForFile(const char* pszFirstLineFormat, ...);
    // The held lines, then every line from now on, are appended to the file at pszPath. An
    // empty path, or a file refused or not opened (traced, with the reason), is no file: the
    // held lines are let go. The run is the same whatever becomes of the file.
    static void AppendToFile(const char* pszPath);
};
