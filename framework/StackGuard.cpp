// The guard GCC's stack cookies check, and what happens when one was overrun: the program's
// own, in place of libssp's. libssp fills its guard from CryptGenRandom, which loads the
// system's cryptographic provider at every start (about 20 ms under Wine, more than the rest of
// the start-up's own work); this fills it as the platform's own /GS does, from what differs
// between processes and starts (the time, the process and thread, the performance counter and
// where the stack lies). Built only where GCC's stack protector is on; the platform's compiler
// brings its own.

#include <windows.h>

#include <stdint.h>

extern "C" {

// Before the constructor below runs, no protected function has a frame open; the value only
// keeps the guard from starting as 0, a common byte of an overrun.
void* __stack_chk_guard = reinterpret_cast<void*>(static_cast<uintptr_t>(0x2B992DDFA232ull));

// An overrun changed a cookie: the process ends at once with the platform's own status for it,
// after one trace line so that a debug-output viewer shows why the program went. Nothing else
// runs: the stack is not to be trusted.
__attribute__((noreturn)) void __stack_chk_fail(void)
{
    OutputDebugStringA("FinishInstall: stack buffer overrun detected, the process ends\n");
    TerminateProcess(GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
    for (;;) {
    }
}

} // extern "C"

namespace {

// Runs among the first constructors, called by the C runtime's start-up, which has no cookies:
// no protected frame is open while the guard changes. It has none itself, for the same reason.
__attribute__((constructor(101), no_stack_protector)) void SetUpStackGuard()
{
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    uintptr_t guard = reinterpret_cast<uintptr_t>(__stack_chk_guard);
    guard ^= (static_cast<uintptr_t>(ft.dwHighDateTime) << 16) ^ ft.dwLowDateTime;
    guard ^= static_cast<uintptr_t>(GetCurrentProcessId()) << 8;
    guard ^= static_cast<uintptr_t>(GetCurrentThreadId()) << 12;
    guard ^= static_cast<uintptr_t>(counter.QuadPart) ^
             static_cast<uintptr_t>(static_cast<uint64_t>(counter.QuadPart) >> 32);
    guard ^= reinterpret_cast<uintptr_t>(&ft);
    // A zero byte at the bottom stops a string copy at the cookie, as glibc's guard does.
    guard &= ~static_cast<uintptr_t>(0xFF);
    __stack_chk_guard = reinterpret_cast<void*>(guard);
}

} // namespace
