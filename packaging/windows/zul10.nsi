; The setup program of ZUL10 for 64-bit Windows, built on Linux by makensis
; (scripts/package-windows.sh passes the defines):
;
;   makensis -DVERSION=1.01-01 -DVERSION_NUMBERS=1.1.1.0 -DPROGRAM_DIR=DIR
;            -DFILE_LIST=LIST.nsh -DSIZE_KB=N -DOUTFILE=zul10-1.01-01-setup.exe
;            [-DICON=zul10.ico] zul10.nsi
;
; PROGRAM_DIR is the program folder as it runs: zul10.exe, the Qt DLLs, the
; plugin folders and the compiler's runtime DLLs. FILE_LIST names every file
; and subfolder in it, so the uninstaller removes exactly what was installed
; and nothing an operator put beside it.
;
; It installs into Program Files for every user, adds the Start-menu entry
; "ZUL-1x Adjustment Program" and the entry among the installed programs.
; The program keeps its settings file in its working folder, which the
; shortcut sets to the user's own %LOCALAPPDATA%\ZUL10: Program Files is not
; writable for an operator, and a 64-bit program gets no file
; virtualisation. Settings files stay when the program is removed.
;
; Silent use: setup.exe /S [/D=C:\Other\Folder] and uninstall.exe /S.

!ifndef VERSION | VERSION_NUMBERS | PROGRAM_DIR | FILE_LIST | SIZE_KB | OUTFILE
    !error "VERSION, VERSION_NUMBERS, PROGRAM_DIR, FILE_LIST, SIZE_KB and OUTFILE must be defined"
!endif

; A 64-bit setup program: it runs only on 64-bit Windows, sees the native
; Program Files and the native registry, and Wine runs it with wine64.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!define PRODUCT "ZUL10"
!define MENU_NAME "ZUL-1x Adjustment Program"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define ACTIVE_SETUP_KEY "Software\Microsoft\Active Setup\Installed Components\${PRODUCT}"
; Written into the shortcut as it stands; the shell expands it for the user
; who starts the program.
!define WORK_FOLDER "%LOCALAPPDATA%\${PRODUCT}"

Name "${MENU_NAME} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION_NUMBERS}"
VIFileVersion "${VERSION_NUMBERS}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
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

Function .onInit
    ${IfNot} ${RunningX64}
        MessageBox MB_ICONSTOP|MB_OK "${PRODUCT} needs 64-bit Windows." /SD IDOK
        Abort
    ${EndIf}
    SetRegView 64
    SetShellVarContext all
    ; Installing again goes into the folder of the installed copy, unless
    ; another folder was asked for (/D= or a later page).
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 != ""
    ${AndIf} $INSTDIR == "$PROGRAMFILES64\${PRODUCT}"
        StrCpy $INSTDIR $0
    ${EndIf}
FunctionEnd

Section "Program"
    SetRegView 64
    SetShellVarContext all
    ; An installed copy goes first, through its own uninstaller (run in
    ; place, so it finishes before this goes on), so that nothing of an
    ; earlier version or folder stays behind.
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 != ""
    ${AndIf} ${FileExists} "$0\uninstall.exe"
        DetailPrint "Removing the installed copy in $0"
        ExecWait '"$0\uninstall.exe" /S _?=$0'
        Delete "$0\uninstall.exe"
        RMDir "$0"
    ${EndIf}
    !insertmacro InstallProgramFiles
    WriteUninstaller "$INSTDIR\uninstall.exe"

    ; The working folder of the installing user. Other users get theirs at
    ; their next logon from the Active Setup entry below, which Windows runs
    ; once for each user.
    SetShellVarContext current
    CreateDirectory "$LOCALAPPDATA\${PRODUCT}"
    SetShellVarContext all
    WriteRegStr HKLM "${ACTIVE_SETUP_KEY}" "" "${MENU_NAME}"
    !searchreplace ACTIVE_SETUP_VERSION "${VERSION_NUMBERS}" "." ","
    WriteRegStr HKLM "${ACTIVE_SETUP_KEY}" "Version" "${ACTIVE_SETUP_VERSION}"
    WriteRegDWORD HKLM "${ACTIVE_SETUP_KEY}" "IsInstalled" 1
    WriteRegStr HKLM "${ACTIVE_SETUP_KEY}" "StubPath" \
        '"$SYSDIR\cmd.exe" /d /c if not exist "${WORK_FOLDER}\" mkdir "${WORK_FOLDER}"'

    ; CreateShortCut stores $OUTDIR as the working folder.
    Push $OUTDIR
    StrCpy $OUTDIR "${WORK_FOLDER}"
    CreateShortCut "$SMPROGRAMS\${MENU_NAME}.lnk" "$INSTDIR\zul10.exe" "" \
        "$INSTDIR\zul10.exe" 0 SW_SHOWNORMAL "" "${MENU_NAME}"
    Pop $OUTDIR

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${MENU_NAME} (${PRODUCT})"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
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
