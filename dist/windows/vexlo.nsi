; Vexlo's Windows installer, built by scripts/package-windows with Debian's NSIS (makensis), which
; defines COMPRESSOR (lzma, or zlib for a quick build), VERSION (2.9.0), STAGE (the portable folder, whose files it installs), ICON (vexlo.ico),
; TYPES (an include file with one `!insertmacro VideoType ".ext"` line per video extension of the
; desktop entry) and OUTFILE.
;
; For the current user (the default; no administrator needed) into %LOCALAPPDATA%\Programs\Vexlo,
; or for all users (/AllUsers, or the first page) into %ProgramFiles%\Vexlo: the program, its
; tools and texts, a Start menu entry, "Open with" for the video types, and an uninstaller listed
; in Apps and Features. Silent with /S. The uninstaller removes all of that and the program's
; monthly logs in its folder; the settings (HKEY_CURRENT_USER\VexloDirectory) stay unless the
; uninstaller's "Settings" box is ticked or it is given /RemoveSettings.

Unicode true
Target amd64-unicode
SetCompressor /SOLID ${COMPRESSOR}

!define PRODUCT "Vexlo"
!define PUBLISHER "The Vexlo developers"
!define HOMEPAGE "https://github.com/vexlo/vexlo"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vexlo"
!define SETTINGS_KEY "VexloDirectory"  ; app/RegistryStore.h, kSettingsKey
!define PROGID "Vexlo.Video"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "GPL-3.0-or-later"

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_INSTALLMODE_DEFAULT_CURRENTUSER
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_INSTDIR "${PRODUCT}"
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_NOUNINSTALL  ; the uninstaller finds its mode in un.onInit
!define MULTIUSER_MUI
!include MultiUser.nsh
!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include Sections.nsh

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_LICENSEPAGE_TEXT_BOTTOM "Vexlo is free software: you may use, share and change it under the terms above. Nothing here needs accepting to use it."
!define MUI_LICENSEPAGE_BUTTON "$(^NextBtn)"
!define MUI_FINISHPAGE_RUN "$INSTDIR\vexlo.exe"
!insertmacro MUI_PAGE_LICENSE "${STAGE}/LICENSE.txt"
!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; The files of the portable folder: installed, and removed by the uninstaller.
!macro ProgramFiles Action
  !insertmacro ${Action} "vexlo.exe"
  !insertmacro ${Action} "ffmpeg.bin"
  !insertmacro ${Action} "ffprobe.bin"
  !insertmacro ${Action} "README.txt"
  !insertmacro ${Action} "LICENSE.txt"
  !insertmacro ${Action} "FFmpeg.txt"
  !insertmacro ${Action} "FFmpeg-COPYING.GPLv3.txt"
!macroend
!macro InstallFile Name
  File "${STAGE}/${Name}"
!macroend
!macro RemoveFile Name
  Delete "$INSTDIR\${Name}"
!macroend

; "Open with Vexlo" for one extension: the extension lists the program's file type among its
; other programs; no extension's default program changes.
!macro VideoType Extension
  !ifdef Registering
    WriteRegStr SHCTX "Software\Classes\${Extension}\OpenWithProgids" "${PROGID}" ""
    WriteRegStr SHCTX "Software\Classes\Applications\vexlo.exe\SupportedTypes" "${Extension}" ""
  !else
    DeleteRegValue SHCTX "Software\Classes\${Extension}\OpenWithProgids" "${PROGID}"
    DeleteRegKey /ifempty SHCTX "Software\Classes\${Extension}\OpenWithProgids"
    DeleteRegKey /ifempty SHCTX "Software\Classes\${Extension}"
  !endif
!macroend

; SHCTX is HKEY_LOCAL_MACHINE for all users, HKEY_CURRENT_USER for the current user.
Section "Vexlo" SecProgram
  SetRegView 64
  SetOutPath "$INSTDIR"
  !insertmacro ProgramFiles InstallFile
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\vexlo.exe" "" "$INSTDIR\vexlo.exe" 0 \
                 "" "" "Encode video with FFmpeg"

  WriteRegStr SHCTX "Software\Classes\${PROGID}" "" "Video"
  WriteRegStr SHCTX "Software\Classes\${PROGID}\DefaultIcon" "" "$INSTDIR\vexlo.exe,0"
  WriteRegStr SHCTX "Software\Classes\${PROGID}\shell\open" "FriendlyAppName" "${PRODUCT}"
  WriteRegStr SHCTX "Software\Classes\${PROGID}\shell\open\command" "" '"$INSTDIR\vexlo.exe" "%1"'
  WriteRegStr SHCTX "Software\Classes\Applications\vexlo.exe" "FriendlyAppName" "${PRODUCT}"
  WriteRegStr SHCTX "Software\Classes\Applications\vexlo.exe\shell\open\command" "" \
              '"$INSTDIR\vexlo.exe" "%1"'
  !define Registering
  !include "${TYPES}"
  !undef Registering
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'  ; SHCNE_ASSOCCHANGED

  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vexlo.exe,0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "URLInfoAbout" "${HOMEPAGE}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0  ; in KiB
SectionEnd

Section "un.Vexlo" SecUnProgram
  SectionIn RO
  !insertmacro ProgramFiles RemoveFile
  Delete "$INSTDIR\ConvVexlo_*.Log"  ; the monthly logs, when the folder could take them
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"  ; only when empty: a file of the user's own keeps it
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  !include "${TYPES}"
  DeleteRegKey SHCTX "Software\Classes\${PROGID}"
  DeleteRegKey SHCTX "Software\Classes\Applications\vexlo.exe"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd

Section /o "un.Settings" SecUnSettings
  DeleteRegKey HKCU "${SETTINGS_KEY}"
SectionEnd

!insertmacro MUI_UNFUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecUnProgram} "The program, its tools and texts, the Start menu entry and Open with."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecUnSettings} "Your settings too (HKEY_CURRENT_USER\${SETTINGS_KEY}); kept when not ticked."
!insertmacro MUI_UNFUNCTION_DESCRIPTION_END

Function .onInit
  SetRegView 64
  !insertmacro MULTIUSER_INIT
FunctionEnd

Function un.onInit
  SetRegView 64
  ; Installed for all users when the machine's uninstall key names this folder.
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
  ${GetParameters} $1
  ClearErrors
  ${GetOptions} $1 "/RemoveSettings" $2
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecUnSettings}
  ${EndIf}
FunctionEnd
