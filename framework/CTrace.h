#pragma once

// One line per decision on the platform's debug output, where a debugger or a debug-output
// viewer shows it; writing costs next to nothing when nobody listens. Every line starts with
// "FinishInstall: " so that a viewer can filter on it. The trace changes nothing the program
// does.
class CTrace {
public:
    // printf-style; a line longer than the buffer is cut and ends in "...".
    static void Line(const char* pszFormat, ...);

    // The system's text for an error code, without its line break, into a buffer of its own.
    static const char* ErrorText(unsigned long dwError, char* pszBuffer, unsigned long cchBuffer);
};
