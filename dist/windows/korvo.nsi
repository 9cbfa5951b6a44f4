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

; Removes what the installer put there, by name: settings the user kept
; beside the programs (korvo.ini, data\) stay, and so does the folder then.
Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\korvo\korvo.lnk"
  Delete "$SMPROGRAMS\korvo\Uninstall korvo.lnk"
  RMDir "$SMPROGRAMS\korvo"
  !include "${FILELIST}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
