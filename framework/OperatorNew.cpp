// The program throws nothing, so its allocations need none of the exception machinery that the
// C++ library's operator new carries (it would treble the program's size). Allocation goes
// straight to the C runtime; a failure ends the process with the platform's out-of-memory
// status rather than handing back a pointer that the code would not expect to be null.

#include <stdlib.h>

#include <new>

#include "framework/AfxMemory.h"

namespace {

void* AllocateOrDie(size_t nSize)
{
    void* p = malloc(nSize != 0 ? nSize : 1);
    if (p == NULL)
        AfxEndForLackOfMemory();
    return p;
}

} // namespace

void* operator new(size_t nSize)
{
    return AllocateOrDie(nSize);
}
void* operator new[](size_t nSize)
{
    return AllocateOrDie(nSize);
}
void* operator new(size_t nSize, const std::nothrow_t&) noexcept
{
    return malloc(nSize ? nSize : 1);
}
void* operator new[](size_t nSize, const std::nothrow_t&) noexcept
{
    return malloc(nSize ? nSize : 1);
}
void operator delete(void* p) noexcept
{
    free(p);
}
void operator delete[](void* p) noexcept
{
    free(p);
}
void operator delete(void* p, size_t) noexcept
{
    free(p);
}
void operator delete[](void* p, size_t) noexcept
{
    free(p);
}
