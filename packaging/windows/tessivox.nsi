; The Windows installer: the program folder as `cmake --install` stages it
; (STAGE), installed for every user of the PC. It asks one thing, the folder.
; The uninstaller removes what the installer put there and leaves the
; school's own files: the database and logs in "data", the recordings in
; "sound".
;
;   makensis -DSTAGE=<staged folder> -DVERSION=<x.y> -DOUTFILE=<setup.exe> tessivox.nsi

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "x64.nsh"

!define KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tessivox"
!define MENU "$SMPROGRAMS\Tessivox"

Name "Tessivox ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Tessivox"
InstallDirRegKey HKLM "Software\Tessivox" "InstallDir"
RequestExecutionLevel admin

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\tessivox.exe"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

Function .onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "Tessivox"
  SetOutPath "$INSTDIR"
  File /r "${STAGE}/*.*"
  CreateDirectory "$INSTDIR\data"
  CreateDirectory "$INSTDIR\sound"
  ; Whoever sits at the PC writes the database, its journal and the logs,
  ; not only the administrator who installed it (S-1-5-32-545: Users).
  nsExec::Exec 'icacls "$INSTDIR\data" /grant *S-1-5-32-545:(OI)(CI)M'
  Pop $0

  ; The shortcuts start in the program's folder, where it finds "data".
  CreateDirectory "${MENU}"
  CreateShortcut "${MENU}\Tessivox 考场语音指令.lnk" "$INSTDIR\tessivox.exe"
  CreateShortcut "${MENU}\Tessivox 考场状态.lnk" "$INSTDIR\tessivox-board.exe"
  CreateShortcut "${MENU}\Tessivox 数据库工具 (tessivox-db).lnk" "$SYSDIR\cmd.exe" \
    '/k "cd /d "$INSTDIR" && tessivox-db.exe"'
  CreateShortcut "${MENU}\卸载 Tessivox.lnk" "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "Software\Tessivox" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${KEY}" "DisplayName" "Tessivox"
  WriteRegStr HKLM "${KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${KEY}" "Publisher" "Tessivox"
  WriteRegStr HKLM "${KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${KEY}" "NoRepair" 1
  WriteUninstaller "$INSTDIR\uninstall.exe"
SectionEnd

Section "Uninstall"
  ; What the installer put there, listed when the installer was made.
  !include "${STAGE}.files.nsh"
  Delete "$INSTDIR\uninstall.exe"
  RMDir /r "${MENU}"
  DeleteRegKey HKLM "${KEY}"
  DeleteRegKey HKLM "Software\Tessivox"
  ; Removed only when empty: the school's files stay.
  RMDir "$INSTDIR\sound"
  RMDir "$INSTDIR"
SectionEnd
