; The Windows installer of korvo, built with NSIS (makensis) from the folder
; of the portable ZIP:
;   makensis -DVERSION=x.y.z -DSTAGE=folder -DOUTFILE=setup.exe korvo.nsi
; Installs for all users with a Start-menu entry and an uninstaller;
; /S /D=C:\korvo installs silently into C:\korvo.

; A 64-bit installer: it installs 64-bit programs, and runs where only
; 64-bit Windows programs can (a 64-bit-only Wine).
Target amd64-unicode
!include "MUI2.nsh"

Name "korvo ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\korvo"
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\korvo"

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"
!insertmacro MUI_LANGUAGE "English"

; The settings an older korvo wrote beside the programs, when $INSTDIR is
; below FOLDER (names compare without regard to case).
!macro RemoveSettingsBelow FOLDER
  Push $0
  Push $1
  StrLen $0 "${FOLDER}\"
  StrCpy $1 "$INSTDIR" $0
  StrCmp $1 "${FOLDER}\" 0 +5
    Delete "$INSTDIR\korvo.ini"
    Delete "$INSTDIR\data\UserPackageOrderSettings.ini"
    Delete "$INSTDIR\data\UserPackageLabelSettings.ini"
    RMDir "$INSTDIR\data"
  Pop $1
  Pop $0
!macroend

Section "korvo"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateDirectory "$SMPROGRAMS\korvo"
  CreateShortcut "$SMPROGRAMS\korvo\korvo.lnk" "$INSTDIR\korvo.exe"
  CreateShortcut "$SMPROGRAMS\korvo\Uninstall korvo.lnk" "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "korvo"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\korvo.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Removes what the installer put there, by name. korvo installed below
; Program Files keeps its settings in the user's %LOCALAPPDATA%\korvo, which
; stays: what an older korvo wrote beside the programs there (korvo.ini,
; data\) goes with them, so that nothing is left in Program Files. Installed
; elsewhere (a folder the user owns), korvo keeps its settings beside the
; programs: they stay, and so does the folder then.
Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\korvo\korvo.lnk"
  Delete "$SMPROGRAMS\korvo\Uninstall korvo.lnk"
  RMDir "$SMPROGRAMS\korvo"
  !include "${FILELIST}"
  Delete "$INSTDIR\uninstall.exe"
  !insertmacro RemoveSettingsBelow "$PROGRAMFILES64"
  !insertmacro RemoveSettingsBelow "$PROGRAMFILES32"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
