#pragma once

// Every registry key and value the program reads or writes, the sizes its reads use, and the
// name of the guard over them.

#include <windows.h>

// The product's entry in the list of installed programs; its "InstallLocation" is where the
// placeholders point.
const char kProductUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                                    "{5E27B1C4-9A30-4F8D-B6E2-0C41D97A38F5}";
// The run list lives under the product's entry, in this subkey.
const char kManifestSubKey[] = "\\Quillmere";
// The entry the installer product made for the same product; it receives the display values.
const char kDisplayKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                           "InstallShield_{5E27B1C4-9A30-4F8D-B6E2-0C41D97A38F5}";

// The mutex that lets one start at a time load and consume the product's run list: named after
// the product, in the namespace that all sessions share.
const char kRunListGuardName[] = "Global\\FinishInstall-{5E27B1C4-9A30-4F8D-B6E2-0C41D97A38F5}";

const char kTitleValue[] = "Title";
const char kDisplayNameValue[] = "DisplayName";
const char kDisplayIconValue[] = "DisplayIcon";
// A file the run's trace is appended to; absent or empty, none.
const char kTraceFileValue[] = "TraceFile";
const char kTypeValue[] = "type";
const char kCommandValue[] = "command";
const char kParametersValue[] = "parameters";
const char kTimeoutValue[] = "timeout";
const char kTextValue[] = "text";
const char kInstallLocationValue[] = "InstallLocation";

const char kExecutableType[] = "executable";
const char kRegImportType[] = "reg";

const char kInstallDirToken[] = "%InstallDir%";
const char kSetupDirToken[] = "%QuillmereDir%";
const char kSetupDirSuffix[] = "\\Setup";

// Installers write these values with the size of a 4 KiB buffer less one; longer values are
// not read. Subkey names use the same buffer size.
const DWORD kValueSize = 4095;
const DWORD kInstallLocationSize = MAX_PATH;
