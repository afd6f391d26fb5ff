; The installer of pwm5 for Windows x86-64: per user, no administrator rights. It installs the
; programs of the zip into the user's own programs folder, where the window may store com.txt
; beside itself, puts pwm5 in the Start menu and an entry in the user's list of installed apps.
; scripts/windows-package builds it:
;   makensis -DPRODUCT=product.nsh -DSTAGE=folder -DUNINSTALL_LIST=list.nsh -DOUTFILE=setup.exe pwm5.nsi
; PRODUCT: the version, publisher and icon (the Windows build writes it); STAGE: the folder the
; zip is made of; UNINSTALL_LIST: a Delete line for each file of STAGE, an RMDir for each folder.

Target amd64-unicode
!include "${PRODUCT}"
!include MUI2.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\pwm5"

Name "pwm5"
OutFile "${OUTFILE}"
BrandingText "pwm5 ${PRODUCT_VERSION}"
RequestExecutionLevel user
ManifestDPIAware true
SetCompressor /SOLID lzma
; /D=PATH chooses another folder; without it, an earlier install's folder is used again.
InstallDir "$LOCALAPPDATA\Programs\pwm5"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"

VIProductVersion "${PRODUCT_VERSION_WINDOWS}"
VIAddVersionKey /LANG=0 "ProductName" "pwm5"
VIAddVersionKey /LANG=0 "ProductVersion" "${PRODUCT_VERSION}"
VIAddVersionKey /LANG=0 "CompanyName" "${PRODUCT_PUBLISHER}"
VIAddVersionKey /LANG=0 "FileDescription" "pwm5 ${PRODUCT_VERSION} setup"
VIAddVersionKey /LANG=0 "FileVersion" "${PRODUCT_VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "${PRODUCT_COPYRIGHT}"

!define MUI_ICON "${PRODUCT_ICON}"
!define MUI_UNICON "${PRODUCT_ICON}"
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_FUNCTION StartWindow
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\README.txt"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
; The first is the one shown when Windows' own language is neither.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "SimpChinese"

Section "pwm5" SectionPrograms
  Call RemoveEarlierInstall
  SetOutPath "$INSTDIR"
  File /r "${STAGE}/*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ; A shortcut starts in the folder that is the output path as it is made: the install
  ; folder, where the window keeps com.txt and looks for COMn files.
  CreateShortcut "$SMPROGRAMS\pwm5.lnk" "$INSTDIR\pwm5.exe" "" "$INSTDIR\pwm5.exe" 0 \
    SW_SHOWNORMAL "" "${PRODUCT_DESCRIPTION}"
  Call WriteUninstallEntry
SectionEnd

; An earlier version goes first, by its own uninstaller run in its folder, so that no file it
; had and this one has not stays behind. The operator's com.txt and COMn files stay.
Function RemoveEarlierInstall
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  StrCmp $0 "" done
  IfFileExists "$0\uninstall.exe" 0 done
  ExecWait '"$0\uninstall.exe" /S _?=$0'
  done:
FunctionEnd

Function WriteUninstallEntry
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "pwm5"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${PRODUCT_VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PRODUCT_PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Comments" "${PRODUCT_DESCRIPTION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\pwm5.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ; In KiB, what the installed files take.
  SectionGetSize ${SectionPrograms} $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
FunctionEnd

; From the finish page: the window, in its folder as from the Start menu.
Function StartWindow
  SetOutPath "$INSTDIR"
  Exec '"$INSTDIR\pwm5.exe"'
FunctionEnd

; Only what the installer put there goes: a folder the operator left a file in stays, with it.
Section "Uninstall"
  !include "${UNINSTALL_LIST}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\pwm5.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
