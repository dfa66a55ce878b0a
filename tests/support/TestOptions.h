#pragma once

// The test programs' own options, beside GoogleTest's.

// --expect-double-byte: the case is run on a double-byte system code page, and fails on any
// other instead of testing a single-byte one twice (a locale that quietly gave 1252).
void SetExpectDoubleByteCodePage();
bool ExpectDoubleByteCodePage();
