#pragma once

// Every registry key and value the program reads or writes, the sizes its reads use, and the
// name of the guard over them.

#include <windows.h>

// The product's entry in the list of installed programs; its "InstallLocation" is where the
// placeholders point.
inline constexpr char kProductUninstallKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
    "{5E27B1C4-9A30-4F8D-B6E2-0C41D97A38F5}";
// The run list lives under the product's entry, in this subkey.
inline constexpr char kManifestSubKey[] = "\\Quillmere";
// The entry the installer product made for the same product; it receives the display values.
inline constexpr char kDisplayKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                                      "InstallShield_{5E27B1C4-9A30-4F8D-B6E2-0C41D97A38F5}";

// The mutex that lets one start at a time load and consume the product's run list, named after
// the product: in a private namespace that only administrators can open, where the system has
// private namespaces; otherwise in the namespace that all sessions share.
inline constexpr wchar_t kRunListNamespaceAlias[] =
    L"FinishInstall-{5E27B1C4-9A30-4F8D-B6E2-0C41D97A38F5}";
inline constexpr char kRunListPrivateGuardName[] =
    "FinishInstall-{5E27B1C4-9A30-4F8D-B6E2-0C41D97A38F5}\\RunList";
inline constexpr char kRunListGuardName[] =
    "Global\\FinishInstall-{5E27B1C4-9A30-4F8D-B6E2-0C41D97A38F5}";

inline constexpr char kTitleValue[] = "Title";
inline constexpr char kDisplayNameValue[] = "DisplayName";
inline constexpr char kDisplayIconValue[] = "DisplayIcon";
// A file the run's trace is appended to; absent or empty, none.
inline constexpr char kTraceFileValue[] = "TraceFile";
inline constexpr char kTypeValue[] = "type";
inline constexpr char kCommandValue[] = "command";
inline constexpr char kParametersValue[] = "parameters";
inline constexpr char kTimeoutValue[] = "timeout";
inline constexpr char kTextValue[] = "text";
inline constexpr char kInstallLocationValue[] = "InstallLocation";

inline constexpr char kExecutableType[] = "executable";
inline constexpr char kRegImportType[] = "reg";

inline constexpr char kInstallDirToken[] = "%InstallDir%";
inline constexpr char kSetupDirToken[] = "%QuillmereDir%";
inline constexpr char kSetupDirSuffix[] = "\\Setup";

// Installers write these values with the size of a 4 KiB buffer less one; longer values are
// not read. Subkey names use the same buffer size.
const DWORD kValueSize = 4095;
const DWORD kInstallLocationSize = MAX_PATH;
