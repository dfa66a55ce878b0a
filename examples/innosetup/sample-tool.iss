; Sample Tool's installer, made with Inno Setup 6: it installs the product together with
; FinishInstall.exe, leaves a run list in the registry and runs FinishInstall.exe, which
; finishes the installation; the installer ends once it has.
;
;   ISCC sample-tool.iss      (ISCC /DName=value sets any of the #defines below)
;
; To copy: the [Files] into {app}\Setup, the [Registry] entries (the installer's own entry with
; its display values, and the run list) and the [Run] entry. Inno in its default mode makes a
; 32-bit installer, whose HKLM is the registry's 32-bit view: the one the shipped 32-bit
; FinishInstall.exe reads. An installer in 64-bit mode (ArchitecturesInstallIn64BitMode) must
; write these entries with Root: HKLM32.
; Inno reads "{" as the start of a constant: the GUID's brace is written "{{".

; The files it carries, relative to this script, as the FinishInstall release zip holds them:
; swap in your own.
#ifndef FinishInstallExe
  #define FinishInstallExe "..\..\FinishInstall.exe" ; at the release zip's root
#endif
#ifndef RegisterExe
  #define RegisterExe "..\product\register.exe"    ; the sample step program: yours instead
#endif
#ifndef RegisterParameters
  #define RegisterParameters "/quiet"
#endif
#ifndef SettingsReg
  #define SettingsReg "..\product\settings.reg"    ; your .reg file that a step imports
#endif

; Signing. FinishInstall.exe runs elevated from the installer: sign it, and your own programs,
; with your certificate before they are packed ([Files] takes a file as it is; the
; FinishInstall package's copy is unsigned). On Windows, with a time-stamp server's URL, which
; keeps the signature valid after the certificate expires:
;   signtool sign /fd sha256 /tr URL /td sha256 /f author.pfx /p PASSWORD FinishInstall.exe
; (on Linux: scripts/sign.sh of FinishInstall's sources, or osslsigncode). Then let the compiler
; sign the setup and its uninstaller, with a sign tool named "signtool" given to it
; (ISCC "/Ssigntool=signtool.exe $p" sample-tool.iss, or the IDE's Tools > Configure Sign
; Tools) and these lines in [Setup]:
;   SignTool=signtool sign /fd sha256 /tr URL /td sha256 /f author.pfx /p PASSWORD $f
;   SignedUninstaller=yes
; Signing the setup afterwards leaves its uninstaller and the copies of itself it starts from
; unsigned.

#define Uninstall "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall"
#define ProductKey Uninstall + "\{{5E27B1C4-9A30-4F8D-B6E2-0C41D97A38F5}"
#define RunList ProductKey + "\Quillmere"
; The installer's own entry in the list of installed programs (in place of Inno's usual one).
; The installer writes it whole, display name and icon too, so that the product is listed even
; if FinishInstall.exe never runs; FinishInstall.exe then writes the run list's display values
; over them, and creates nothing.
#define DisplayKey Uninstall + "\InstallShield_{{5E27B1C4-9A30-4F8D-B6E2-0C41D97A38F5}"

[Setup]
AppName=Sample Tool
AppVersion=4.2
DefaultDirName={autopf}\Sample Tool
DisableProgramGroupPage=yes
PrivilegesRequired=admin
CreateUninstallRegKey=no
OutputBaseFilename=sample-tool-setup

[Files]
Source: "{#FinishInstallExe}"; DestDir: "{app}\Setup"; DestName: "FinishInstall.exe"
Source: "{#RegisterExe}"; DestDir: "{app}\Setup"; DestName: "register.exe"
Source: "{#SettingsReg}"; DestDir: "{app}"; DestName: "settings.reg"

[Registry]
Root: HKLM; Subkey: "{#DisplayKey}"; ValueType: string; ValueName: "UninstallString"; ValueData: """{uninstallexe}"""; Flags: uninsdeletekey
Root: HKLM; Subkey: "{#DisplayKey}"; ValueType: string; ValueName: "DisplayName"; ValueData: "Sample Tool 4.2"
Root: HKLM; Subkey: "{#DisplayKey}"; ValueType: string; ValueName: "DisplayIcon"; ValueData: "{uninstallexe},0"
Root: HKLM; Subkey: "SOFTWARE\Sample Tool"; Flags: uninsdeletekey dontcreatekey
; The run list. FinishInstall.exe deletes the step subkeys before it runs them: a run list is
; used once. Steps run in the order of their subkey names, compared as text: zero-pad them.
; %InstallDir% stands for InstallLocation, %QuillmereDir% for its Setup folder, where every
; step runs.
Root: HKLM; Subkey: "{#ProductKey}"; ValueType: string; ValueName: "InstallLocation"; ValueData: "{app}"; Flags: uninsdeletekey
Root: HKLM; Subkey: "{#RunList}"; ValueType: string; ValueName: "Title"; ValueData: "Finishing the Sample Tool installation"
Root: HKLM; Subkey: "{#RunList}"; ValueType: string; ValueName: "DisplayName"; ValueData: "Sample Tool 4.2"
Root: HKLM; Subkey: "{#RunList}"; ValueType: string; ValueName: "DisplayIcon"; ValueData: "{uninstallexe},0"
; The run's trace, appended to a file in the setup directory, which only administrators can
; write: the file to ask a customer for when the installation went wrong.
Root: HKLM; Subkey: "{#RunList}"; ValueType: string; ValueName: "TraceFile"; ValueData: "%QuillmereDir%\finish.log"
Root: HKLM; Subkey: "{#RunList}\01-settings"; ValueType: string; ValueName: "type"; ValueData: "reg"
Root: HKLM; Subkey: "{#RunList}\01-settings"; ValueType: string; ValueName: "command"; ValueData: "%InstallDir%\settings.reg"
Root: HKLM; Subkey: "{#RunList}\01-settings"; ValueType: string; ValueName: "text"; ValueData: "Registering the default settings"
Root: HKLM; Subkey: "{#RunList}\02-register"; ValueType: string; ValueName: "type"; ValueData: "executable"
Root: HKLM; Subkey: "{#RunList}\02-register"; ValueType: string; ValueName: "command"; ValueData: "%QuillmereDir%\register.exe"
Root: HKLM; Subkey: "{#RunList}\02-register"; ValueType: string; ValueName: "parameters"; ValueData: "{#RegisterParameters}"
Root: HKLM; Subkey: "{#RunList}\02-register"; ValueType: string; ValueName: "text"; ValueData: "Registering the plug-ins"

[UninstallDelete]
; The trace file is FinishInstall.exe's, not the installer's: removed by name.
Type: files; Name: "{app}\Setup\finish.log"

[Run]
; Waits for FinishInstall.exe, which waits for each step: the product is finished when the
; installer ends, also in a silent install (/VERYSILENT). No step has a time limit: one that
; hangs keeps the installer waiting.
Filename: "{app}\Setup\FinishInstall.exe"; StatusMsg: "Finishing the installation..."; Flags: waituntilterminated
