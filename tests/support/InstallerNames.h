#pragma once

// What an installer knows of FinishInstall.exe, spelt here as an installer writes it and never
// taken from the program's own headers: a name misspelt in the program then fails the tests
// instead of passing them in the same misspelling.

namespace installer {

// Under HKEY_LOCAL_MACHINE: the product's entry in the list of installed programs, the run list
// in it, and the entry the installer made for itself, which receives the display values.
#define INSTALLER_PRODUCT_KEY                                                                      \
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"                                    \
    "{5E27B1C4-9A30-4F8D-B6E2-0C41D97A38F5}"
const char kProductKey[] = INSTALLER_PRODUCT_KEY;
const char kRunListKey[] = INSTALLER_PRODUCT_KEY "\\Quillmere";
const char kDisplayKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                           "InstallShield_{5E27B1C4-9A30-4F8D-B6E2-0C41D97A38F5}";
#undef INSTALLER_PRODUCT_KEY

// The product entry's install location and a step subkey's values.
const char kInstallLocationName[] = "InstallLocation";
const char kTypeName[] = "type";
const char kCommandName[] = "command";
const char kParametersName[] = "parameters";
const char kTextName[] = "text";
const char kTimeoutName[] = "timeout";

// The program file, its progress dialog's template and its icon, as resource ids.
const char kProgramFileName[] = "FinishInstall.exe";
const int kDialogTemplateId = 102;
const int kProgramIconId = 128;

// Step subkeys beyond this many stay in the registry for a later start.
const unsigned kMostStepsPerStart = 597;

} // namespace installer
