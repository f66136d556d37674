; The setup program of ZUL10 for 64-bit Windows, built on Linux by makensis
; (scripts/package-windows.sh passes the defines):
;
;   makensis -DVERSION=1.01-01 -DVERSION_NUMBERS=1.1.1.0 -DPROGRAM_DIR=DIR
;            -DFILE_LIST=LIST.nsh -DSIZE_KB=N -DOUTFILE=zul10-1.01-01-setup.exe
;            -DPUBLISHER="TAMARACK CO.,LTD." [-DICON=zul10.ico] zul10.nsi
;
; PROGRAM_DIR is the program folder as it runs: zul10.exe, its launcher
; zul10-start.exe, the Qt DLLs, the plugin folders, the compiler's runtime
; DLLs and README.txt. FILE_LIST names every file and subfolder in it, so the
; uninstaller removes exactly what was installed and nothing an operator put
; beside it.
;
; It installs into Program Files for every user, adds the Start-menu entry
; "ZUL-1x Adjustment Program" and the entry among the installed programs.
; The program keeps its settings file in its working folder. The entry runs
; zul10-start.exe, which makes the user's own %LOCALAPPDATA%\ZUL10 when it is
; missing and starts zul10.exe there: Program Files is not writable for an
; operator, a 64-bit program gets no file virtualisation, and the folder must
; be there for every user, not only for the one who installed. Settings files
; stay when the program is removed.
;
; Neither the setup program nor the uninstaller changes anything while a
; copy of the program runs (its mutex "ZUL10", or a program file of the
; folder that cannot be opened for writing, as a running program's or the
; record forward's cannot), nor for an account that is not an
; administrator's. Interactively they ask to close the program and retry.
;
; Silent use: setup.exe /S [/D=C:\Other\Folder] and uninstall.exe /S. Exit
; codes: 0 done, 1 cancelled, 2 failed (NSIS's own), and, with nothing
; changed:
;   3  a copy of the program runs (or the operator cancelled at the question)
;   4  the account is not an administrator's
; uninstall.exe /S hands the work to a copy of itself in %TEMP% and ends at
; once with 0 (NSIS does so); uninstall.exe /S _?=FOLDER works in place and
; ends with the codes above.

!ifndef VERSION | VERSION_NUMBERS | PROGRAM_DIR | FILE_LIST | SIZE_KB | OUTFILE | PUBLISHER
    !error "VERSION, VERSION_NUMBERS, PROGRAM_DIR, FILE_LIST, SIZE_KB, OUTFILE and PUBLISHER must be defined"
!endif

; A 64-bit setup program: it runs only on 64-bit Windows, sees the native
; Program Files and the native registry, and Wine runs it with wine64.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true
; A file that cannot be replaced (in use) fails the install instead of being
; skipped: a skipped file would leave old and new files mixed.
AllowSkipFiles off

!define PRODUCT "ZUL10"
!define MENU_NAME "ZUL-1x Adjustment Program"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
; Earlier versions made each user's working folder at logon through Active
; Setup; the launcher does it now, and the key goes.
!define ACTIVE_SETUP_KEY "Software\Microsoft\Active Setup\Installed Components\${PRODUCT}"
!define EXIT_RUNNING 3
!define EXIT_NOT_ADMIN 4

Name "${MENU_NAME} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION_NUMBERS}"
VIFileVersion "${VERSION_NUMBERS}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} setup"

!include MUI2.nsh
!include LogicLib.nsh
!include x64.nsh

!ifdef ICON
    !define MUI_ICON "${ICON}"
    !define MUI_UNICON "${ICON}"
!endif
!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; FILE_LIST defines the macros InstallProgramFiles and RemoveProgramFiles.
!include "${FILE_LIST}"

; Refuses, with exit code 4 and nothing changed, an account that is not an
; administrator's: RequestExecutionLevel alone lets a standard user through
; where UAC is off, and the install would then fail half way. WHAT is
; "Installing" or "Removing".
!macro RequireAdministrator WHAT
    UserInfo::GetAccountType
    Pop $0
    !ifdef TEST_ACCOUNT_TYPE
        ; The installer test's variant: Wine gives every program an
        ; administrator's token, so it stands for the answer of another
        ; account ("User", "Power", "Guest").
        StrCpy $0 "${TEST_ACCOUNT_TYPE}"
    !endif
    ${If} $0 != "Admin"
        MessageBox MB_ICONSTOP|MB_OK "${WHAT} ${PRODUCT} needs an administrator's account \
            (this one is $\"$0$\").$\r$\n$\r$\nSign in as an administrator, or start it \
            with $\"Run as administrator$\". Nothing was changed." /SD IDOK
        SetErrorLevel ${EXIT_NOT_ADMIN}
        Quit
    ${EndIf}
!macroend

; What shows that a copy of the program runs, for the box: empty when
; nothing does.
Var RunningCopy

; The running check, once for the setup program and once (un.) for the
; uninstaller.
!macro RunningCopyFunctions UN
; Sets RunningCopy when the program's mutex is there (a copy runs in this
; session), or when a program file (*.exe but uninstall.exe, *.dll) in the
; folder on the stack
; cannot be opened for writing because it is in use: a copy in another
; session, the record forward zul10-records.exe, the yield report. An empty
; or missing folder is checked for the mutex only.
Function ${UN}FindRunningCopy
    Exch $R0
    Push $R1
    Push $R2
    Push $R3
    Push $R4
    StrCpy $RunningCopy ""
    ; SYNCHRONIZE access; ERROR_ACCESS_DENIED also means that it is there.
    System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${PRODUCT}") p .R1 ?e'
    Pop $R2
    ${If} $R1 P<> 0
        System::Call 'kernel32::CloseHandle(p R1)'
        StrCpy $RunningCopy "${PRODUCT} (zul10.exe) is running."
    ${ElseIf} $R2 = 5
        StrCpy $RunningCopy "${PRODUCT} (zul10.exe) is running."
    ${EndIf}
    ${If} $RunningCopy == ""
    ${AndIf} $R0 != ""
        ClearErrors
        FindFirst $R1 $R2 "$R0\*.*"
        ${DoUntil} ${Errors}
            StrCpy $R3 $R2 "" -4
            ; The uninstaller is not the program: run in place, it is in
            ; use by itself.
            ${If} $R2 == "uninstall.exe"
                StrCpy $R3 ""
            ${EndIf}
            ${If} $R3 == ".exe"
            ${OrIf} $R3 == ".dll"
                ; GENERIC_WRITE, every sharing mode, OPEN_EXISTING: fails
                ; with a sharing or lock violation while a process runs it
                ; or has it loaded. Nothing is written.
                System::Call 'kernel32::CreateFileW(w "$R0\$R2", i 0x40000000, i 7, p 0, i 3, \
                    i 0, p 0) p .R3 ?e'
                Pop $R4
                ${If} $R3 P<> -1
                    System::Call 'kernel32::CloseHandle(p R3)'
                ${ElseIf} $R4 = 32
                ${OrIf} $R4 = 33
                    StrCpy $RunningCopy "$R0\$R2 is in use."
                    ${Break}
                ${EndIf}
            ${EndIf}
            ClearErrors
            FindNext $R1 $R2
        ${Loop}
        FindClose $R1
    ${EndIf}
    Pop $R4
    Pop $R3
    Pop $R2
    Pop $R1
    Pop $R0
FunctionEnd

; Goes on only when no copy of the program runs, with files in the two
; folders on the stack (either may be empty or the same): asks the operator
; to close it and retry; silently, or when the operator cancels, ends with
; exit code 3 and nothing changed.
Function ${UN}CloseRunningCopy
    Exch $R5
    Exch
    Exch $R6
    ${Do}
        Push $R5
        Call ${UN}FindRunningCopy
        ${If} $RunningCopy == ""
        ${AndIf} $R6 != $R5
            Push $R6
            Call ${UN}FindRunningCopy
        ${EndIf}
        ${If} $RunningCopy == ""
            ${Break}
        ${EndIf}
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$RunningCopy$\r$\n$\r$\n${PRODUCT} \
            cannot be changed while it runs. Close it (and wait for the records to be \
            delivered), then choose Retry." /SD IDCANCEL IDRETRY retry
        SetErrorLevel ${EXIT_RUNNING}
        Quit
        retry:
    ${Loop}
    Pop $R6
    Pop $R5
FunctionEnd
!macroend
!insertmacro RunningCopyFunctions ""
!insertmacro RunningCopyFunctions "un."

Function .onInit
    ${IfNot} ${RunningX64}
        MessageBox MB_ICONSTOP|MB_OK "${PRODUCT} needs 64-bit Windows." /SD IDOK
        Abort
    ${EndIf}
    SetRegView 64
    SetShellVarContext all
    !insertmacro RequireAdministrator "Installing"
    ; Installing again goes into the folder of the installed copy, unless
    ; another folder was asked for (/D= or a later page).
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 != ""
    ${AndIf} $INSTDIR == "$PROGRAMFILES64\${PRODUCT}"
        StrCpy $INSTDIR $0
    ${EndIf}
    Push $0
    Push $INSTDIR
    Call CloseRunningCopy
FunctionEnd

Section "Program"
    SetRegView 64
    SetShellVarContext all
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ; Checked again: the program may have been started while the pages
    ; were shown. Nothing has been changed yet.
    Push $0
    Push $INSTDIR
    Call CloseRunningCopy
    ; An installed copy goes first, through its own uninstaller (run in
    ; place, so it finishes before this goes on), so that nothing of an
    ; earlier version or folder stays behind. When it refuses (a copy was
    ; started just now), nothing was removed and nothing is installed.
    ${If} $0 != ""
    ${AndIf} ${FileExists} "$0\uninstall.exe"
        DetailPrint "Removing the installed copy in $0"
        ClearErrors
        ExecWait '"$0\uninstall.exe" /S _?=$0' $1
        ${If} ${Errors}
        ${OrIf} $1 <> 0
            MessageBox MB_ICONSTOP|MB_OK "The installed copy in $0 could not be removed \
                (exit code $1). Nothing was installed." /SD IDOK
            ${IfNot} ${Errors}
                SetErrorLevel $1
            ${EndIf}
            Abort
        ${EndIf}
        Delete "$0\uninstall.exe"
        RMDir "$0"
    ${EndIf}
    !insertmacro InstallProgramFiles
    WriteUninstaller "$INSTDIR\uninstall.exe"
    DeleteRegKey HKLM "${ACTIVE_SETUP_KEY}"

    ; The entry runs the launcher, which makes the user's working folder
    ; %LOCALAPPDATA%\ZUL10 when it is missing and starts zul10.exe there.
    ; The shortcut's own working folder ($OUTDIR) is the program folder.
    SetOutPath "$INSTDIR"
    CreateShortCut "$SMPROGRAMS\${MENU_NAME}.lnk" "$INSTDIR\zul10-start.exe" "" \
        "$INSTDIR\zul10.exe" 0 SW_SHOWNORMAL "" "${MENU_NAME}"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${MENU_NAME} (${PRODUCT})"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    ; The README, installed beside the program: there is no web page.
    WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "$INSTDIR\README.txt"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\zul10.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
SectionEnd

Function un.onInit
    SetRegView 64
    SetShellVarContext all
    !insertmacro RequireAdministrator "Removing"
    Push $INSTDIR
    Push $INSTDIR
    Call un.CloseRunningCopy
FunctionEnd

Section "Uninstall"
    SetRegView 64
    SetShellVarContext all
    Delete "$SMPROGRAMS\${MENU_NAME}.lnk"
    !insertmacro RemoveProgramFiles
    Delete "$INSTDIR\uninstall.exe"
    ; Only when empty: whatever else is in it was not installed here.
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${ACTIVE_SETUP_KEY}"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    ; The users' working folders and their settings files stay.
SectionEnd
