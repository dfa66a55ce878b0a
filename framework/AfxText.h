#pragma once

#include <windows.h>

// How many of the first cch bytes of pch are whole characters of the process code page: text
// cut at a buffer's end may end in the first bytes of a character, which would reach the system
// as a replacement character, or join with whatever text follows it. UTF-8 is told by its
// continuation bytes, a double-byte code page by a walk from the start.
DWORD AfxWholeCharactersLength(const char* pch, DWORD cch);
