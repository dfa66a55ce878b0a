#pragma once

#include <windows.h>

// A private object namespace whose boundary is the Administrators group, so that only a process
// with an administrator's rights can open it or make a named object in it. Made by the first
// start that asks for it, opened by the others while it exists, and closed (not destroyed) with
// this object, so that another start may still be using it.
//
// The namespace functions are Windows Vista's; they are looked up at run time, so that the
// program still starts where the system lacks them, and are called only once a boundary
// descriptor has been made: some systems export CreatePrivateNamespaceW as a stub that ends the
// process, while their CreateBoundaryDescriptorW answers NULL.
class CPrivateNamespace {
public:
    CPrivateNamespace();
    ~CPrivateNamespace() { Close(); }

    CPrivateNamespace(const CPrivateNamespace&) = delete;
    CPrivateNamespace& operator=(const CPrivateNamespace&) = delete;

    // Opens the namespace of this alias (making it where no start has yet), closing any held
    // before. ERROR_SUCCESS once it is open; ERROR_NOT_SUPPORTED where the system has no private
    // namespaces; otherwise the system's error.
    DWORD Open(const wchar_t* pszAlias);
    void Close();

    bool IsOpen() const { return m_hNamespace != NULL; }

private:
    typedef BOOLEAN(WINAPI* PFNCLOSEPRIVATENAMESPACE)(HANDLE, ULONG);

    HANDLE m_hNamespace;
    PFNCLOSEPRIVATENAMESPACE m_pfnClose;
};
