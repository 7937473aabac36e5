; Installer of StatVTK for 64-bit Windows: the desktop program statvtk.exe
; with the Qt DLLs it needs (when DESKTOP is defined), statvtk-cli.exe, the
; report templates, the user guide and the README into Program Files\StatVTK;
; a Start-menu shortcut, the statistics file types (.vst, .814, .ldn) opened
; by statvtk.exe, and an uninstaller that takes all of it away again.
; makensis -DVERSION=... -DSTAGE=<folder with the files> -DOUTFILE=<setup.exe> [-DDESKTOP]
; A 64-bit installer, as the programs are (it also runs where only 64-bit
; Windows programs can, as under a 64-bit-only Wine).
Target amd64-unicode
Name "StatVTK ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\StatVTK"
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\StatVTK"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; A file type opened by the desktop program: EXT (".vst"), PROGID, TEXT.
!macro FileType EXT PROGID TEXT
  WriteRegStr HKLM "Software\Classes\${EXT}" "" "${PROGID}"
  WriteRegStr HKLM "Software\Classes\${PROGID}" "" "${TEXT}"
  WriteRegStr HKLM "Software\Classes\${PROGID}\DefaultIcon" "" "$INSTDIR\statvtk.exe,0"
  WriteRegStr HKLM "Software\Classes\${PROGID}\shell\open\command" "" '"$INSTDIR\statvtk.exe" "%1"'
!macroend
!macro RemoveFileType EXT PROGID
  ReadRegStr $0 HKLM "Software\Classes\${EXT}" ""
  StrCmp $0 "${PROGID}" 0 +2
    DeleteRegKey HKLM "Software\Classes\${EXT}"
  DeleteRegKey HKLM "Software\Classes\${PROGID}"
!macroend

Section "StatVTK"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "StatVTK ${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "StatVTK"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" "$\"$INSTDIR\uninstall.exe$\""
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
!ifdef DESKTOP
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\statvtk.exe,0"
  CreateDirectory "$SMPROGRAMS\StatVTK"
  CreateShortcut "$SMPROGRAMS\StatVTK\StatVTK.lnk" "$INSTDIR\statvtk.exe"
  CreateShortcut "$SMPROGRAMS\StatVTK\Удалить StatVTK.lnk" "$INSTDIR\uninstall.exe"
  !insertmacro FileType ".vst" "StatVTK.vst" "Статистика ВТК-08.12"
  !insertmacro FileType ".814" "StatVTK.814" "Статистика ВТК-08.14"
  !insertmacro FileType ".ldn" "StatVTK.ldn" "Статистика ЛДН-08"
  ; Explorer rereads the associations.
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
!endif
SectionEnd

Section "Uninstall"
  SetShellVarContext all
!ifdef DESKTOP
  !insertmacro RemoveFileType ".vst" "StatVTK.vst"
  !insertmacro RemoveFileType ".814" "StatVTK.814"
  !insertmacro RemoveFileType ".ldn" "StatVTK.ldn"
  Delete "$SMPROGRAMS\StatVTK\StatVTK.lnk"
  Delete "$SMPROGRAMS\StatVTK\Удалить StatVTK.lnk"
  RMDir "$SMPROGRAMS\StatVTK"
!endif
  ; Only what the installer put there: the list is written by package-windows.
  !include "${STAGE}.files.nsh"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINST_KEY}"
SectionEnd
