#pragma once

#include <string>

// The test programs' own options, beside GoogleTest's.

// --expect-double-byte: the case is run on a double-byte system code page, and fails on any
// other instead of testing a single-byte one twice (a locale that quietly gave 1252).
void SetExpectDoubleByteCodePage();
bool ExpectDoubleByteCodePage();

// --program=PATH: the FinishInstall.exe the whole-program tests start and read, in place of the
// one built and bundled with them: a Visual Studio build of the same sources, for one. Taken as
// a full path; false, and nothing set, when no file is there.
bool SetProgramUnderTest(const char* pszPath);
const std::string& ProgramUnderTest(); // empty when the option was not given
