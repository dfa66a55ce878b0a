// What Visual Studio's static C runtime gives every program and no package here provides: the
// entry point (with the static initialisers and atexit), the /GS cookie and its check, the stack
// probe, and the load configuration that carries the cookie's address and the SafeSEH and
// Control Flow Guard tables. Linked only into the clang-cl build made without Visual Studio
// (FINISHINSTALL_MSVC_STAND_IN_CRT), with /NODEFAULTLIB and Wine's msvcrt for the rest of the C
// library; a Visual Studio build takes its own runtime, and the shipped program is mingw's.
//
// Compiled without /GS: the entry point changes the cookie while its own frame is open.

#include <windows.h>

#include <stdint.h>
#include <stdlib.h>

extern "C" {

// The static initialisers' table: the compiler puts a pointer to each translation unit's
// initialiser in .CRT$XCU, and the linker sorts the .CRT$XC* sections by name, so the two
// markers here bound it.
typedef void(__cdecl* PVFV)(void);
#pragma section(".CRT$XCA", long, read)
#pragma section(".CRT$XCZ", long, read)
__declspec(allocate(".CRT$XCA")) PVFV __xc_a[] = {NULL};
__declspec(allocate(".CRT$XCZ")) PVFV __xc_z[] = {NULL};
#pragma comment(linker, "/merge:.CRT=.rdata")

// The platform's default cookie values: the loader (Windows 8 and later) fills a cookie that
// still holds one of them before any code of the image runs, and the start-up below fills it
// where the loader did not.
#ifdef _WIN64
const uintptr_t kDefaultCookie = 0x00002B992DDFA232ull;
#else
const uintptr_t kDefaultCookie = 0xBB40E64Eu;
#endif
uintptr_t __security_cookie = kDefaultCookie;

// As the platform's own: what differs between processes and starts, and on 64-bit Windows the
// top 16 bits left clear, so that a cookie is never a valid user-mode address.
static void InitSecurityCookie()
{
    if (__security_cookie != kDefaultCookie && __security_cookie != 0)
        return;
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    uintptr_t cookie = (static_cast<uintptr_t>(ft.dwHighDateTime) << 16) ^ ft.dwLowDateTime;
    cookie ^= GetCurrentThreadId();
    cookie ^= GetCurrentProcessId();
#ifdef _WIN64
    cookie ^= (static_cast<uintptr_t>(counter.LowPart) << 32) ^ counter.QuadPart;
    cookie ^= reinterpret_cast<uintptr_t>(&cookie);
    cookie &= 0x0000FFFFFFFFFFFFull;
#else
    cookie ^= counter.LowPart ^ counter.HighPart;
    cookie ^= reinterpret_cast<uintptr_t>(&cookie);
#endif
    if (cookie == kDefaultCookie || cookie == 0)
        cookie = kDefaultCookie + 1;
    __security_cookie = cookie;
}

// An overrun changed a cookie: the process ends at once with the platform's status for it, as
// the mingw build's guard does. Nothing else runs: the stack is not to be trusted.
__declspec(noreturn) void __cdecl __report_gsfailure(uintptr_t)
{
    OutputDebugStringA("FinishInstall: stack buffer overrun detected, the process ends\n");
    TerminateProcess(GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
    for (;;) {
    }
}

// Called on every protected function's return with the cookie its frame held; on x86 in ECX, as
// the compiler calls it.
void __fastcall __security_check_cookie(uintptr_t cookie)
{
    if (cookie != __security_cookie)
        __report_gsfailure(cookie);
}

// Control Flow Guard: every indirect call goes through these pointers, which the loader of a
// Windows that enforces the guard replaces with its own check. Elsewhere (and under Wine) they
// stay on these routines, which let every call through. They lie in .00cfg, which the loader
// may write; the linker merges it into read-only data.
void __fastcall GuardCheckICallNop(uintptr_t) {}
#ifdef _WIN64
// The call's target is in RAX: the routine jumps there.
void GuardDispatchICallNop();
__asm__(".intel_syntax noprefix\n"
        ".text\n"
        ".globl GuardDispatchICallNop\n"
        "GuardDispatchICallNop:\n"
        "    jmp rax\n");
#endif
#pragma section(".00cfg", read)
__declspec(allocate(".00cfg")) void(__fastcall* volatile __guard_check_icall_fptr)(uintptr_t) =
    GuardCheckICallNop;
#ifdef _WIN64
__declspec(allocate(".00cfg")) void (*volatile __guard_dispatch_icall_fptr)() =
    GuardDispatchICallNop;
#endif

// The load configuration, to the end of the guard's fields (Windows 10's layout); the linker
// points the image's load configuration directory at the object of this name. In assembly: the
// guard's flags are a symbol's value cut to 32 bits, which no C++ constant can hold. The tables
// and counts are the linker's, made from /guard:cf and /SAFESEH.
#ifdef _WIN64
__asm__(".section .rdata,\"dr\"\n"
        ".p2align 3\n"
        ".globl _load_config_used\n"
        "_load_config_used:\n"
        "    .long 0xC0, 0\n"                  // Size, TimeDateStamp
        "    .short 0, 0\n"                    // MajorVersion, MinorVersion
        "    .long 0, 0, 0\n"                  // GlobalFlagsClear, GlobalFlagsSet, timeout
        "    .quad 0, 0, 0, 0, 0, 0\n"         // heap thresholds, LockPrefixTable ... affinity
        "    .long 0\n"                        // ProcessHeapFlags
        "    .short 0, 0\n"                    // CSDVersion, DependentLoadFlags
        "    .quad 0\n"                        // EditList
        "    .quad __security_cookie\n"        // SecurityCookie
        "    .quad 0, 0\n"                     // SEHandlerTable, SEHandlerCount (x86 only)
        "    .quad __guard_check_icall_fptr\n" // GuardCFCheckFunctionPointer
        "    .quad __guard_dispatch_icall_fptr\n"
        "    .quad __guard_fids_table, __guard_fids_count\n"
        "    .long __guard_flags\n"
        "    .short 0, 0\n" // CodeIntegrity: Flags, Catalog
        "    .long 0, 0\n"  // CatalogOffset, Reserved
        "    .quad __guard_iat_table, __guard_iat_count\n"
        "    .quad __guard_longjmp_table, __guard_longjmp_count\n"
        ".text\n");
#else
// C names carry an underscore on x86.
__asm__(".section .rdata,\"dr\"\n"
        ".p2align 2\n"
        ".globl __load_config_used\n"
        "__load_config_used:\n"
        "    .long 0x78, 0\n"             // Size, TimeDateStamp
        "    .short 0, 0\n"               // MajorVersion, MinorVersion
        "    .long 0, 0, 0\n"             // GlobalFlagsClear, GlobalFlagsSet, timeout
        "    .long 0, 0, 0, 0, 0, 0, 0\n" // heap thresholds ... ProcessAffinityMask
        "    .short 0, 0\n"               // CSDVersion, DependentLoadFlags
        "    .long 0\n"                   // EditList
        "    .long ___security_cookie\n"  // SecurityCookie
        "    .long ___safe_se_handler_table, ___safe_se_handler_count\n"
        "    .long ___guard_check_icall_fptr\n" // GuardCFCheckFunctionPointer
        "    .long 0\n"                         // GuardCFDispatchFunctionPointer (x64 only)
        "    .long ___guard_fids_table, ___guard_fids_count\n"
        "    .long ___guard_flags\n"
        "    .short 0, 0\n" // CodeIntegrity: Flags, Catalog
        "    .long 0, 0\n"  // CatalogOffset, Reserved
        "    .long ___guard_iat_table, ___guard_iat_count\n"
        "    .long ___guard_longjmp_table, ___guard_longjmp_count\n"
        ".text\n");
#endif

// A frame of more than a page is touched a page at a time, from the top, so that each access
// lands on the guard page that grows the stack; the compiler calls this with the frame's size in
// EAX/RAX. The static runtime's: the system DLLs' exports of it are not part of their interface.
#ifdef _WIN64
// Probes only; the caller moves RSP itself. Keeps every register.
__asm__(".intel_syntax noprefix\n"
        ".text\n"
        ".globl __chkstk\n"
        "__chkstk:\n"
        "    push rcx\n"
        "    push rax\n"
        "    cmp rax, 0x1000\n"
        "    lea rcx, [rsp + 24]\n" // RSP at the call
        "    jb 1f\n"
        "2:\n"
        "    sub rcx, 0x1000\n"
        "    test [rcx], rcx\n"
        "    sub rax, 0x1000\n"
        "    cmp rax, 0x1000\n"
        "    ja 2b\n"
        "1:\n"
        "    sub rcx, rax\n"
        "    test [rcx], rcx\n"
        "    pop rax\n"
        "    pop rcx\n"
        "    ret\n");
#else
// Probes, then moves ESP down by EAX itself, as the x86 compiler expects; keeps ECX.
__asm__(".intel_syntax noprefix\n"
        ".text\n"
        ".globl __chkstk\n"
        "__chkstk:\n"
        "    push ecx\n"
        "    cmp eax, 0x1000\n"
        "    lea ecx, [esp + 8]\n" // ESP at the call
        "    jb 1f\n"
        "2:\n"
        "    sub ecx, 0x1000\n"
        "    test [ecx], ecx\n"
        "    sub eax, 0x1000\n"
        "    cmp eax, 0x1000\n"
        "    ja 2b\n"
        "1:\n"
        "    sub ecx, eax\n"
        "    test [ecx], ecx\n"
        "    lea eax, [esp + 4]\n" // where the return address is
        "    mov esp, ecx\n"
        "    mov ecx, [eax - 4]\n"
        "    push dword ptr [eax]\n"
        "    sub eax, esp\n"
        "    ret\n");
#endif

// msvcrt.dll keeps the list that exit() runs, but exports no atexit: the static runtime has it.
// The destructors of static objects are registered here.
int __cdecl atexit(void(__cdecl* pfn)(void))
{
    return _onexit(reinterpret_cast<_onexit_t>(reinterpret_cast<void*>(pfn))) != NULL ? 0 : -1;
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR pszCmdLine, int nShowCmd);

// The command line after the program's name, as the runtime hands it to WinMain.
static char* ArgumentsOf(char* psz)
{
    if (*psz == '"') {
        for (++psz; *psz != '\0' && *psz != '"'; ++psz) {
        }
        if (*psz == '"')
            ++psz;
    } else {
        for (; static_cast<unsigned char>(*psz) > ' '; ++psz) {
        }
    }
    for (; *psz != '\0' && static_cast<unsigned char>(*psz) <= ' '; ++psz) {
    }
    return psz;
}

extern IMAGE_DOS_HEADER __ImageBase;

// The entry point: the cookie, the static initialisers, WinMain, then exit(), which runs what
// the initialisers registered with atexit (msvcrt keeps that list).
int WinMainCRTStartup()
{
    InitSecurityCookie();
    for (PVFV* pfn = __xc_a; pfn < __xc_z; ++pfn) {
        if (*pfn != NULL)
            (**pfn)();
    }
    STARTUPINFOA si;
    GetStartupInfoA(&si);
    const int nShowCmd = (si.dwFlags & STARTF_USESHOWWINDOW) != 0 ? si.wShowWindow : SW_SHOWDEFAULT;
    exit(WinMain(reinterpret_cast<HINSTANCE>(&__ImageBase), NULL, ArgumentsOf(GetCommandLineA()),
                 nShowCmd));
}

} // extern "C"
