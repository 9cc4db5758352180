; The Windows installer life-setup.exe: puts life.scr in place for one user or the machine, selects it, uninstalls it.
; makensis -DVERSION=x.y.z -DSCR=path/to/life.scr -DOUTFILE=path/to/life-setup.exe life-setup.nsi
;
; Switches (for /S silent installs too):
;   /CURRENTUSER  install for the current user, in %LOCALAPPDATA%\Programs\Life (the default; /D=DIR elsewhere)
;   /ALLUSERS     install for the machine: life.scr in the system folder, the uninstaller in Program Files\Life;
;                 needs an elevated (administrator) run
;   /SELECT       make it the current user's screen saver
Unicode true
; A 64-bit installer, as life.scr is: it sees the real System32 and the 64-bit registry, never SysWOW64 or
; WOW6432Node, without redirection tricks.
Target amd64-unicode

!ifndef VERSION
  !error "define VERSION (x.y.z)"
!endif
!ifndef SCR
  !error "define SCR, the life.scr to install"
!endif
!ifndef OUTFILE
  !error "define OUTFILE, the installer to write"
!endif

!include FileFunc.nsh
!include LogicLib.nsh
!include Sections.nsh

!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Life"
!define DESKTOP_KEY "Control Panel\Desktop"
!define SPI_SETSCREENSAVEACTIVE 17
!define SPIF_UPDATE_AND_SEND 3

Name "Life ${VERSION}"
OutFile "${OUTFILE}"
; Per-user by default; the machine-wide install checks for an administrator itself instead of asking every user.
RequestExecutionLevel user
SetCompressor /SOLID lzma
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "Life"
VIAddVersionKey "FileDescription" "Life screen saver setup"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" ""

Var AllUsers
Var ScrPath

Page components
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; Takes the shell context (HKCU or HKLM for SHCTX) for $AllUsers; a machine-wide run without an administrator stops.
!macro ChooseContext
  ${If} $AllUsers == 1
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 != "Admin"
      MessageBox MB_ICONSTOP "Installing or removing Life for all users needs an administrator: run it elevated." /SD IDOK
      SetErrorLevel 5
      Quit
    ${EndIf}
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
!macroend

Section "Life screen saver" SecMain
  SectionIn RO
  ${If} $AllUsers == 1
    StrCpy $ScrPath "$SYSDIR\life.scr"
  ${Else}
    StrCpy $ScrPath "$INSTDIR\life.scr"
  ${EndIf}
  ${GetParent} $ScrPath $0
  SetOutPath $0
  SetOverwrite on
  File "/oname=$ScrPath" "${SCR}"
  SetOutPath $INSTDIR
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr SHCTX "${UNINST_KEY}" "DisplayName" "Life screen saver"
  WriteRegStr SHCTX "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINST_KEY}" "DisplayIcon" "$ScrPath"
  WriteRegStr SHCTX "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr SHCTX "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD SHCTX "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINST_KEY}" "NoRepair" 1
  FileOpen $0 $ScrPath r
  FileSeek $0 0 END $1
  FileClose $0
  IntOp $1 $1 / 1024
  WriteRegDWORD SHCTX "${UNINST_KEY}" "EstimatedSize" $1
SectionEnd

Section /o "Use it as my screen saver" SecSelect
  WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" "$ScrPath"
  WriteRegStr HKCU "${DESKTOP_KEY}" "ScreenSaveActive" "1"
  ; The session keeps its own copy of "active": tell it, as the Screen Saver settings do.
  System::Call 'user32::SystemParametersInfoW(i ${SPI_SETSCREENSAVEACTIVE}, i 1, p 0, i ${SPIF_UPDATE_AND_SEND})'
SectionEnd

Function .onInit
  ${GetParameters} $R0
  StrCpy $AllUsers 0
  ClearErrors
  ${GetOptions} $R0 "/ALLUSERS" $R1
  ${IfNot} ${Errors}
    StrCpy $AllUsers 1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/CURRENTUSER" $R1
  ${IfNot} ${Errors}
    StrCpy $AllUsers 0
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/SELECT" $R1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecSelect}
  ${EndIf}
  !insertmacro ChooseContext
  ; $INSTDIR is only set here when /D= named a folder.
  ${If} $AllUsers == 1
    ${If} $INSTDIR == ""
      StrCpy $INSTDIR "$PROGRAMFILES64\Life"
    ${EndIf}
  ${ElseIf} $INSTDIR == ""
    StrCpy $INSTDIR "$LOCALAPPDATA\Programs\Life"
  ${EndIf}
FunctionEnd

; The uninstaller runs from (or, with _?=, for) the folder it was written to: the machine-wide install is the one
; whose key under HKLM names that folder.
Function un.onInit
  StrCpy $AllUsers 0
  ReadRegStr $0 HKLM "${UNINST_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} $0 == $INSTDIR
    StrCpy $AllUsers 1
  ${EndIf}
  !insertmacro ChooseContext
  ${If} $AllUsers == 1
    StrCpy $ScrPath "$SYSDIR\life.scr"
  ${Else}
    StrCpy $ScrPath "$INSTDIR\life.scr"
  ${EndIf}
FunctionEnd

; Only what the installer put there goes: worlds (life.sav beside the screen saver or in %APPDATA%\life) stay, and
; so does a folder they are in.
Section "Uninstall"
  ; The user may have picked another screen saver since; the settings may hold the short form of our path.
  ReadRegStr $0 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  GetFullPathName /SHORT $1 $ScrPath
  ${If} $0 != ""
    ${If} $0 == $ScrPath
    ${OrIf} $0 == $1
      DeleteRegValue HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
    ${EndIf}
  ${EndIf}
  Delete /REBOOTOK $ScrPath
  Delete "$INSTDIR\uninstall.exe"
  RMDir $INSTDIR
  DeleteRegKey SHCTX "${UNINST_KEY}"
SectionEnd
