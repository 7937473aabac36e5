; Installer of the StatVTK command-line program: statvtk-cli.exe, the report
; templates and the README into Program Files\StatVTK, with an uninstaller.
; makensis -DVERSION=... -DSTAGE=<folder with the files> -DOUTFILE=<setup.exe>
Unicode true
Name "StatVTK ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\StatVTK"
RequestExecutionLevel admin
SetCompressor /SOLID lzma

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "StatVTK"
  SetOutPath "$INSTDIR"
  File "${STAGE}\statvtk-cli.exe"
  File "${STAGE}\README.txt"
  SetOutPath "$INSTDIR\Templates"
  File "${STAGE}\Templates\*.xlsx"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\StatVTK" "DisplayName" "StatVTK ${VERSION}"
  WriteRegStr HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\StatVTK" "UninstallString" "$\"$INSTDIR\uninstall.exe$\""
SectionEnd

Section "Uninstall"
  Delete "$INSTDIR\statvtk-cli.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\Templates\*.xlsx"
  RMDir "$INSTDIR\Templates"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\StatVTK"
SectionEnd
