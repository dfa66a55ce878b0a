// Sample Tool's plug-in registration: the program the examples' run list starts in its
// "02-register" step, standing in for the tool an installer of your own would run there.
//
//   register.exe [/quiet]
//
// It records its own path as the value RegisteredBy of HKLM\SOFTWARE\Sample Tool\Plug-ins,
// which the examples' uninstall removes with the rest of Sample Tool's key, and exits with 0.
// Where the registry refuses the write (run without administrator rights), it exits with 1,
// which FinishInstall.exe's trace then shows. It shows no window either way: /quiet is there
// because a real registration tool would be given it.

#include <windows.h>

namespace {

// Room for a long path (\\?\ form, 32,767 characters and the NUL).
constexpr DWORD kPathSize = 32768;
constexpr wchar_t kPluginsKey[] = L"SOFTWARE\\Sample Tool\\Plug-ins";
constexpr wchar_t kRegisteredByValue[] = L"RegisteredBy";

wchar_t g_szPath[kPathSize];

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    const DWORD cch = GetModuleFileNameW(NULL, g_szPath, kPathSize);
    if (cch == 0 || cch >= kPathSize)
        return 1;
    HKEY hKey;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPluginsKey, 0, NULL, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, NULL, &hKey, NULL) != ERROR_SUCCESS)
        return 1;
    // The size in bytes, its NUL included; under kPathSize characters, so it fits a DWORD.
    const DWORD cbPath = static_cast<DWORD>((cch + 1) * sizeof(wchar_t));
    const LONG lResult = RegSetValueExW(hKey, kRegisteredByValue, 0, REG_SZ,
                                        reinterpret_cast<const BYTE*>(g_szPath), cbPath);
    RegCloseKey(hKey);
    return lResult == ERROR_SUCCESS ? 0 : 1;
}
