; The Windows installer: installs both programs for the current user alone, with no
; administrator rights, into the user's local programs folder; puts the window program in the
; Start menu (the command line is used from a console, so it gets no entry); and registers an
; uninstaller among the user's installed apps. The uninstaller leaves the program's data folder
; (restore points, account names) alone, and says so.
;
; Built by scripts/package:
;   makensis -DVERSION=<x.y.z> -DSTAGE=<folder of the zip> -DICON=<.ico> -DOUTFILE=<setup.exe>
;            installer.nsi
; A 64-bit installer for 64-bit programs: it starts wherever they can run, and nowhere else.
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"

!define PRODUCT "Orvane Probe Formations"
!define PUBLISHER "The orvane-probe-formations developers"
!define UI_EXE "orvane-probe-formations-ui.exe"
!define CLI_EXE "orvane-probe-formations.exe"
!define UNINSTALLER "uninstall.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\orvane-probe-formations"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT}.lnk"
; Where the window program keeps its restore points and account names (ui/data_folder.cpp).
!define DATA_FOLDER "$LOCALAPPDATA\${PRODUCT}"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "FileDescription" "${PRODUCT} installer"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "Copyright (c) 2026 ${PUBLISHER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
; The uninstaller's last page lists what it did, down to the data folder it kept.
ShowUninstDetails show

!define MUI_WELCOMEPAGE_TEXT "This installs ${PRODUCT} ${VERSION} for you alone, in your local \
  programs folder, with an entry in the Start menu. It needs no administrator rights.$\r$\n$\r$\n\
  If ${PRODUCT} is running, choose Quit on its icon in the notification area first.$\r$\n$\r$\n\
  Click Next to continue."

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\${UI_EXE}"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT}"
!insertmacro MUI_PAGE_FINISH

!define MUI_UNCONFIRMPAGE_TEXT_TOP "The programs, their Start-menu entry and their entry among \
  the installed apps are removed. Your restore points and account names stay in \
  ${DATA_FOLDER}: delete that folder yourself if you want them gone."
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

Section "${PRODUCT}"
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${STAGE}/${UI_EXE}"
  File "${STAGE}/${CLI_EXE}"
  File "${STAGE}/README.txt"
  File "/oname=LICENSE.txt" "${STAGE}/LICENSE"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  CreateShortcut "${SHORTCUT}" "$INSTDIR\${UI_EXE}" "" "$INSTDIR\${UI_EXE}" 0 SW_SHOWNORMAL "" \
    "See and copy probe formations between your accounts"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${UI_EXE},0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ; In KiB, as the list of installed apps reads it.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  ; A running window program holds its file: ask for it to be ended rather than leave it behind.
  retry:
  Delete "$INSTDIR\${UI_EXE}"
  ${If} ${FileExists} "$INSTDIR\${UI_EXE}"
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${PRODUCT} is running. Choose Quit on its \
      icon in the notification area (or on its page), then Retry." /SD IDCANCEL IDRETRY retry
    Abort "${PRODUCT} is running: nothing was removed."
  ${EndIf}
  Delete "$INSTDIR\${CLI_EXE}"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\${UNINSTALLER}"
  ; Only the folder itself, once empty: it may have been chosen to hold other files too.
  RMDir "$INSTDIR"
  Delete "${SHORTCUT}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  DetailPrint "Kept your restore points and account names in ${DATA_FOLDER}."
SectionEnd
