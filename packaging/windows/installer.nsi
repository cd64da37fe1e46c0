; SPDX-License-Identifier: MIT
; The Windows installer: Corvelle's programs, the sample FontExt folder, the fonts with their
; licence, the licence and a read-me in %ProgramFiles%\Corvelle; a Start-menu entry; .kvf files
; opening in Corvelle; an entry in "Apps & features" whose uninstaller removes exactly what was
; installed and leaves the user's profile and history. /S installs silently, /D= names the folder.
; CMake passes VERSION, VERSION_QUAD, ICON, FILES, REMOVALS and DEFINES (the lists and size
; Stage.cmake writes) and OUTFILE.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

Name "Corvelle ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Corvelle"
!include "${DEFINES}"
Icon "${ICON}"
UninstallIcon "${ICON}"
VIProductVersion "${VERSION_QUAD}"
VIAddVersionKey /LANG=1033 "ProductName" "Corvelle"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "Corvelle ${VERSION} setup"
VIAddVersionKey /LANG=1033 "LegalCopyright" "MIT License, the Corvelle developers"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Corvelle"
!define KVF_CLASS "Corvelle.kvf"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Corvelle"
  SetRegView 64
  SetShellVarContext all
  !include "${FILES}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "$SMPROGRAMS\Corvelle.lnk" "$INSTDIR\corvelle.exe"

  WriteRegStr HKLM "Software\Classes\.kvf" "" "${KVF_CLASS}"
  WriteRegStr HKLM "Software\Classes\${KVF_CLASS}" "" "Corvelle font selection"
  WriteRegStr HKLM "Software\Classes\${KVF_CLASS}\DefaultIcon" "" "$INSTDIR\corvelle.exe,0"
  WriteRegStr HKLM "Software\Classes\${KVF_CLASS}\shell\open\command" "" '"$INSTDIR\corvelle.exe" "%1"'

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Corvelle"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Corvelle developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\corvelle.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
SectionEnd

; Only what the installer put there goes: the profile (%APPDATA%\Corvelle) and the history
; (%LOCALAPPDATA%\Corvelle) are the user's, and so is anything the user added to the folder.
Section "Uninstall"
  SetRegView 64
  SetShellVarContext all
  !include "${REMOVALS}"
  ; The scratch file a build leaves in the program folder when that folder is writable.
  Delete "$INSTDIR\fontheadkerv.sh"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Corvelle.lnk"
  DeleteRegKey HKLM "Software\Classes\${KVF_CLASS}"
  ; .kvf is left to another program that has taken it since.
  ReadRegStr $0 HKLM "Software\Classes\.kvf" ""
  StrCmp $0 "${KVF_CLASS}" 0 +2
    DeleteRegKey HKLM "Software\Classes\.kvf"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
