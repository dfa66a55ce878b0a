; Sample Tool's installer, made with NSIS 3: it installs the product together with
; FinishInstall.exe, leaves a run list in the registry and runs FinishInstall.exe, which
; finishes the installation; the installer ends once it has.
;
;   makensis sample-tool.nsi      (makensis -DNAME=value sets any of the !defines below)
;
; To copy: the files into $INSTDIR\Setup, the installer's own entry with its display values,
; the run list and the ExecWait. A 32-bit installer (NSIS's x86-unicode, the default here)
; writes the registry's 32-bit view, which the shipped 32-bit FinishInstall.exe reads. A 64-bit
; one (-DTARGET=amd64-unicode) must write that view too: keep REGVIEW 32. Only a 64-bit build
; of FinishInstall.exe reads the 64-bit view (-DREGVIEW=64).

; The files it carries, relative to this script, as the FinishInstall release zip holds them:
; swap in your own.
!define /ifndef FINISHINSTALL_EXE "..\..\FinishInstall.exe" ; at the release zip's root
!define /ifndef REGISTER_EXE "..\product\register.exe" ; the sample step program: yours instead
!define /ifndef REGISTER_PARAMETERS "/quiet"
!define /ifndef SETTINGS_REG "..\product\settings.reg" ; your .reg file that a step imports
!define /ifndef OUTFILE "sample-tool-setup.exe"
!define /ifndef TARGET x86-unicode
!define /ifndef REGVIEW 32

; Signing. FinishInstall.exe runs elevated from the installer: sign it, and your own programs,
; with your certificate before they are packed (File takes a file as it is; the FinishInstall
; package's copy is unsigned). makensis then signs the installer and the uninstaller it writes
; when SIGN is defined (here, or makensis -DSIGN=...): a command run on the machine that
; builds, %1 standing for the file. With a time-stamp server (/tr, -ts) the signature outlives
; the certificate. On Windows:
;   !define SIGN 'signtool sign /fd sha256 /tr URL /td sha256 /f author.pfx /p PASSWORD "%1"'
; On Linux (osslsigncode writes a new file; scripts/sign.sh of FinishInstall's sources also
; signs in place, from a .pfx or a key on a token):
;   !define SIGN 'osslsigncode sign -pkcs12 author.pfx -readpass password.txt -h sha256 -ts URL -in "%1" -out "%1.signed" && mv "%1.signed" "%1"'
!ifdef SIGN
    !finalize '${SIGN}' = 0
    !uninstfinalize '${SIGN}' = 0
!endif

!define UNINSTALL "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall"
!define PRODUCT_KEY "${UNINSTALL}\{5E27B1C4-9A30-4F8D-B6E2-0C41D97A38F5}"
!define RUN_LIST "${PRODUCT_KEY}\Quillmere"
; The installer's own entry in the list of installed programs. The installer writes it whole,
; display name and icon too, so that the product is listed even if FinishInstall.exe never
; runs; FinishInstall.exe then writes the run list's display values over them, and creates
; nothing.
!define DISPLAY_KEY "${UNINSTALL}\InstallShield_{5E27B1C4-9A30-4F8D-B6E2-0C41D97A38F5}"

Target ${TARGET}
Name "Sample Tool 4.2"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Sample Tool"
RequestExecutionLevel admin
Page directory
Page instfiles

Section
    SetRegView ${REGVIEW}
    SetOutPath "$INSTDIR\Setup"
    File "${FINISHINSTALL_EXE}"
    File "/oname=register.exe" "${REGISTER_EXE}"
    SetOutPath "$INSTDIR"
    File "/oname=settings.reg" "${SETTINGS_REG}"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    WriteRegStr HKLM "${DISPLAY_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${DISPLAY_KEY}" "DisplayName" "Sample Tool 4.2"
    WriteRegStr HKLM "${DISPLAY_KEY}" "DisplayIcon" "$INSTDIR\uninstall.exe,0"

    ; The run list. FinishInstall.exe deletes the step subkeys before it runs them: a run list
    ; is used once. Steps run in the order of their subkey names, compared as text: zero-pad
    ; them. %InstallDir% stands for InstallLocation, %QuillmereDir% for its Setup folder,
    ; where every step runs.
    WriteRegStr HKLM "${PRODUCT_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${RUN_LIST}" "Title" "Finishing the Sample Tool installation"
    WriteRegStr HKLM "${RUN_LIST}" "DisplayName" "Sample Tool 4.2"
    WriteRegStr HKLM "${RUN_LIST}" "DisplayIcon" "$INSTDIR\uninstall.exe,0"
    ; The run's trace, appended to a file in the setup directory, which only administrators
    ; can write: the file to ask a customer for when the installation went wrong.
    WriteRegStr HKLM "${RUN_LIST}" "TraceFile" "%QuillmereDir%\finish.log"
    WriteRegStr HKLM "${RUN_LIST}\01-settings" "type" "reg"
    WriteRegStr HKLM "${RUN_LIST}\01-settings" "command" "%InstallDir%\settings.reg"
    WriteRegStr HKLM "${RUN_LIST}\01-settings" "text" "Registering the default settings"
    WriteRegStr HKLM "${RUN_LIST}\02-register" "type" "executable"
    WriteRegStr HKLM "${RUN_LIST}\02-register" "command" "%QuillmereDir%\register.exe"
    WriteRegStr HKLM "${RUN_LIST}\02-register" "parameters" "${REGISTER_PARAMETERS}"
    WriteRegStr HKLM "${RUN_LIST}\02-register" "text" "Registering the plug-ins"

    ; Waits for FinishInstall.exe, which waits for each step: the product is finished when the
    ; installer ends, also in a silent install (/S). No step has a time limit: one that hangs
    ; keeps the installer waiting.
    ExecWait '"$INSTDIR\Setup\FinishInstall.exe"'
SectionEnd

Section "Uninstall"
    SetRegView ${REGVIEW}
    DeleteRegKey HKLM "${PRODUCT_KEY}"
    DeleteRegKey HKLM "${DISPLAY_KEY}"
    DeleteRegKey HKLM "SOFTWARE\Sample Tool"
    Delete "$INSTDIR\Setup\FinishInstall.exe"
    Delete "$INSTDIR\Setup\register.exe"
    Delete "$INSTDIR\Setup\finish.log"
    RMDir "$INSTDIR\Setup"
    Delete "$INSTDIR\settings.reg"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
SectionEnd
