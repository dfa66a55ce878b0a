#include "support/HandleCount.h"

#include <vector>

namespace {

// NtQuerySystemInformation's SystemHandleInformation: every open handle of every process.
const ULONG kSystemHandleInformation = 16;
const LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);

struct SystemHandleEntry {
    USHORT nProcessId;
    USHORT nCreatorBackTraceIndex;
    UCHAR nObjectType;
    UCHAR nAttributes;
    USHORT nHandle;
    PVOID pObject;
    ULONG nGrantedAccess;
};

struct SystemHandleList {
    ULONG nCount;
    SystemHandleEntry entries[1];
};

typedef LONG(WINAPI* PFNNTQUERYSYSTEMINFORMATION)(ULONG, PVOID, ULONG, PULONG);

DWORD CountInTheSystemHandleList()
{
    const PFNNTQUERYSYSTEMINFORMATION pfnQuery =
        reinterpret_cast<PFNNTQUERYSYSTEMINFORMATION>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (pfnQuery == NULL)
        return 0;
    std::vector<BYTE> buffer(1 << 16);
    LONG lStatus;
    for (;;) {
        ULONG cbNeeded = 0;
        lStatus = pfnQuery(kSystemHandleInformation, &buffer[0], static_cast<ULONG>(buffer.size()),
                           &cbNeeded);
        if (lStatus != kStatusInfoLengthMismatch)
            break;
        buffer.resize(cbNeeded > buffer.size() ? cbNeeded + 4096 : buffer.size() * 2);
    }
    if (lStatus != 0)
        return 0;
    const SystemHandleList* pList = reinterpret_cast<const SystemHandleList*>(&buffer[0]);
    // The list names processes by the low 16 bits of their id.
    const USHORT nSelf = static_cast<USHORT>(GetCurrentProcessId());
    DWORD dwCount = 0;
    for (ULONG i = 0; i < pList->nCount; ++i) {
        if (pList->entries[i].nProcessId == nSelf)
            ++dwCount;
    }
    return dwCount;
}

} // namespace

DWORD ProcessHandleCount()
{
    DWORD dwCount = 0;
    // A running process always holds some handles: 0 means the platform does not count.
    if (GetProcessHandleCount(GetCurrentProcess(), &dwCount) && dwCount != 0)
        return dwCount;
    return CountInTheSystemHandleList();
}

DWORD GuiObjectCount(DWORD dwKind)
{
    return GetGuiResources(GetCurrentProcess(), dwKind);
}
