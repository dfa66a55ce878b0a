#pragma once

#include <windows.h>

// What the program does when memory runs out, wherever that happens: it throws nothing, so it
// ends the process with the platform's out-of-memory status rather than going on with an object
// or a text it could not make. The exception is not continuable: this never returns.
inline void AfxEndForLackOfMemory()
{
    ::RaiseException(static_cast<DWORD>(STATUS_NO_MEMORY), EXCEPTION_NONCONTINUABLE, 0, NULL);
}
