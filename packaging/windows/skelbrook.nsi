; The setup program for Windows: installs Skelbrook for all users into Program Files\Skelbrook
; (64-bit), with a Start-menu shortcut, an optional desktop shortcut, and an entry under
; "Installed apps" whose uninstaller removes exactly what was installed. The user's settings and
; recordings are never touched. Silent with /S.
;
; Built by scripts/package-windows, which gives:
;   VERSION       the project's version as people read it ("0.89"), FILE_VERSION its four numbers
;   SOURCE_DIR    the folder holding the programs, README.md and LICENSE
;   ICON          the program's icon file
;   OUT_FILE      the setup program to write

Unicode true
!include "MUI2.nsh"
!include "x64.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "Sections.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Skelbrook"
!define PUBLISHER "Skelbrook"

Name "Skelbrook ${VERSION}"
OutFile "${OUT_FILE}"
InstallDir "$PROGRAMFILES64\Skelbrook"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
BrandingText "Skelbrook ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${FILE_VERSION}"
VIFileVersion "${FILE_VERSION}"
VIAddVersionKey "ProductName" "Skelbrook"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "Skelbrook ${VERSION} setup"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "MIT licence"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_LICENSE "${SOURCE_DIR}/LICENSE"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "Skelbrook (the window and the command line)" SectionPrograms
  SectionIn RO
  ; A version installed before goes first, by its own uninstaller, so that nothing of it is left
  ; behind; the user's settings and recordings are not the uninstaller's to touch.
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} ${FileExists} "$0\uninstall.exe"
    DetailPrint "Removing the Skelbrook installed before"
    ExecWait '"$0\uninstall.exe" /S _?=$0'
    Delete "$0\uninstall.exe"
    RMDir "$0"
  ${EndIf}

  SetOutPath "$INSTDIR"
  File "${SOURCE_DIR}/skelbrook.exe"
  File "${SOURCE_DIR}/skelbrook-cli.exe"
  File "${SOURCE_DIR}/skelbrook-mkimage.exe"
  File "${SOURCE_DIR}/README.md"
  File "${SOURCE_DIR}/LICENSE"
  ; No "portable" file: an installed window keeps its settings in %LOCALAPPDATA%\skelbrook.
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortCut "$SMPROGRAMS\Skelbrook.lnk" "$INSTDIR\skelbrook.exe" "" "$INSTDIR\skelbrook.exe" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Skelbrook"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\skelbrook.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section /o "A shortcut on the desktop" SectionDesktop
  CreateShortCut "$DESKTOP\Skelbrook.lnk" "$INSTDIR\skelbrook.exe" "" "$INSTDIR\skelbrook.exe" 0
SectionEnd

; After the sections, whose numbers it uses.
Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_OK|MB_ICONSTOP "Skelbrook needs 64-bit Windows, and this PC runs 32-bit \
        Windows. Nothing was installed." /SD IDOK
    SetErrorLevel 3
    Quit
  ${EndIf}
  SetRegView 64
  SetShellVarContext all
  ; Installed before: installed again where it was.
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
    StrCpy $INSTDIR $0
  ${EndIf}
  ; The version installed before is removed with its desktop shortcut: one that was there is made
  ; again unless unticked.
  ${If} ${FileExists} "$DESKTOP\Skelbrook.lnk"
    !insertmacro SelectSection ${SectionDesktop}
  ${EndIf}
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

; Exactly what was installed goes; the user's settings (%LOCALAPPDATA%\skelbrook) and every
; copied recording stay.
Section "Uninstall"
  Delete "$INSTDIR\skelbrook.exe"
  Delete "$INSTDIR\skelbrook-cli.exe"
  Delete "$INSTDIR\skelbrook-mkimage.exe"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\LICENSE"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Skelbrook.lnk"
  Delete "$DESKTOP\Skelbrook.lnk"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
