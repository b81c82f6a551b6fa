; The package's setup program: one 32-bit ANSI program that starts on
; Windows 98/Me and on Windows 2000/XP and later, and its uninstaller.
;   makensis -DDIST=<dist/x86> -DOUTFILE=<setup program> zeltapkg.nsi
;
; Command line (besides NSIS's own /S for a silent run and /D=folder):
;   /DEV     select the "Development files" component (also with /S)
;   /WIN9X   install what Windows 98/Me gets, whatever the system; for testing
;            the 9x branch on an NT-family system
;
; Exit codes: 0 done; 3010 done, a file in use is replaced when Windows
; restarts; 5 not an administrator (NT family), nothing was changed; 1 cancelled;
; 2 aborted on an error.
;
; What belongs to the package, so that the uninstaller takes back exactly
; that: its files (by name, in the folders they were put in), the Run values
; "travenne" and "brelmot", the service NORVA only when this installer
; registered it, the drive icons that travenne or brelmot wrote that still
; name one of their own files, travenne's bookkeeping key, one reference of
; zeltadll.dll in SharedDLLs, and the Add/Remove Programs key. That key also
; keeps what the uninstaller must know: "Family" (the programs last
; installed), "ServiceRegistered" and "SharedDllCounted".

Unicode false
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!ifndef DIST | OUTFILE
  !error "define DIST (the x86 package folder) and OUTFILE"
!endif

!define VERSION "1.0.0.1"
!define PRODUCT "Zelta card reader package"
!define PUBLISHER "Zelta"
!define ARP "Software\Microsoft\Windows\CurrentVersion\Uninstall\zeltapkg"
!define RUN "Software\Microsoft\Windows\CurrentVersion\Run"
!define BOOKKEEPING "Software\Travenne"
!define DRIVES "Applications\Explorer.exe\Drives"
!define DRIVE_ICONS "SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\DriveIcons"
!define NORVA_KEY "SYSTEM\CurrentControlSet\Services\NORVA"
!define ERROR_ACCESS_DENIED 5
!define ERROR_SUCCESS_REBOOT_REQUIRED 3010

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Zelta card reader"
InstallDirRegKey HKLM "${ARP}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show
XPStyle on

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

!include LogicLib.nsh
!include WinVer.nsh
!include FileFunc.nsh
!include Sections.nsh
!include WinMessages.nsh
!include Library.nsh

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Var Family            ; "NT" or "9x": which programs this run installs
Var PreviousFamily    ; what an earlier install put here, "" for none
Var ALREADY_INSTALLED ; "" until this machine's SharedDLLs counts our zeltadll.dll reference
Var ServiceOurs       ; 1 when NORVA was registered by this package

; ---------------------------------------------------------------------------
; Pieces shared by the installer and the uninstaller (macros, so that each
; gets its own copy: NSIS keeps the uninstaller's code apart).

; Only an administrator can write the system and Windows folders, HKLM and
; the service database on the NT family. Checked before anything is changed;
; Windows 98/Me has no such rights.
!macro RequireAdministrator WHAT
  ${If} ${IsNT}
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 != "Admin"
      MessageBox MB_OK|MB_ICONSTOP "${WHAT} the ${PRODUCT} needs administrator rights: it changes the Windows and system folders, the machine's registry and its services.$\r$\n$\r$\nLog on as an administrator and run it again. Nothing was changed." /SD IDOK
      SetErrorLevel ${ERROR_ACCESS_DENIED}
      Quit
    ${EndIf}
  ${EndIf}
!macroend

; Closes every running brelmot: WM_CLOSE to its window of class BRELMOT,
; which destroys the window, and brelmot takes back the drive icons it
; registered before it exits. Waits (10 s at most) until no such window is
; left and the program file can be opened for writing, that is until the
; process has ended and released it.
!macro CloseBrelmot
  StrCpy $1 0
  ${Do}
    FindWindow $0 "BRELMOT"
    ${If} $0 <> 0
      DetailPrint "Closing brelmot"
      SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
    ${ElseIfNot} ${FileExists} "$WINDIR\brelmot.exe"
      ${Break}
    ${Else}
      ClearErrors
      FileOpen $2 "$WINDIR\brelmot.exe" a
      ${IfNot} ${Errors}
        FileClose $2
        ${Break}
      ${EndIf}
    ${EndIf}
    IntOp $1 $1 + 1
    ${If} $1 > 100
      ${Break}
    ${EndIf}
    Sleep 100
  ${Loop}
!macroend

; Removes a file of the package. One in use (a running program, a loaded
; library) is moved out of the way if Windows lets it, and deleted when
; Windows restarts: never left behind silently.
!macro RemoveFile PATH
  !insertmacro UnInstallLib DLL NOTSHARED REBOOT_NOTPROTECTED "${PATH}"
!macroend

!macro RemoveTravenneFiles
  !insertmacro RemoveFile "$WINDIR\travenne.exe"
  !insertmacro RemoveFile "$WINDIR\cfico.ico"
  !insertmacro RemoveFile "$WINDIR\sdico.ico"
  !insertmacro RemoveFile "$WINDIR\smico.ico"
  !insertmacro RemoveFile "$WINDIR\msico.ico"
  !insertmacro RemoveFile "$WINDIR\comboico.ico"
!macroend

; Takes back the drive icons that travenne gave, by its own sweep's rule: a
; letter D to Z with a mark in its bookkeeping key whose
; HKCR\Applications\Explorer.exe\Drives\<letter>\DefaultIcon names one of its
; five icon files (the names in the key's values "0" to "4" when all five are
; there and fit 18 characters, else the defaults). Stricter than the sweep,
; which compares only what follows the Windows directory's length: the whole
; value must be the Windows directory and the name, so an icon that names a
; file elsewhere is not taken. An icon someone changed, or one of a letter
; without a mark, stays. Then the bookkeeping key goes, and the keys above
; each removed icon if nothing else is left in them.
!macro TakeBackTravenneIcons
  StrCpy $R0 "\cfico.ico"
  StrCpy $R1 "\sdico.ico"
  StrCpy $R2 "\smico.ico"
  StrCpy $R3 "\msico.ico"
  StrCpy $R4 "\comboico.ico"
  StrCpy $1 0 ; names that fit
  ${For} $2 0 4
    ClearErrors
    ReadRegStr $3 HKLM "${BOOKKEEPING}" "$2"
    StrLen $4 $3
    ${IfNot} ${Errors}
    ${AndIf} $4 >= 1
    ${AndIf} $4 <= 18
      IntOp $1 $1 + 1
    ${EndIf}
  ${Next}
  ${If} $1 = 5
    ReadRegStr $R0 HKLM "${BOOKKEEPING}" "0"
    ReadRegStr $R1 HKLM "${BOOKKEEPING}" "1"
    ReadRegStr $R2 HKLM "${BOOKKEEPING}" "2"
    ReadRegStr $R3 HKLM "${BOOKKEEPING}" "3"
    ReadRegStr $R4 HKLM "${BOOKKEEPING}" "4"
    StrCpy $R0 "\$R0"
    StrCpy $R1 "\$R1"
    StrCpy $R2 "\$R2"
    StrCpy $R3 "\$R3"
    StrCpy $R4 "\$R4"
  ${EndIf}
  ${For} $2 3 25
    StrCpy $3 "ABCDEFGHIJKLMNOPQRSTUVWXYZ" 1 $2
    ClearErrors
    ReadRegStr $4 HKLM "${BOOKKEEPING}" "$3"
    ${IfNot} ${Errors}
      ClearErrors
      ReadRegStr $4 HKCR "${DRIVES}\$3\DefaultIcon" ""
      ${IfNot} ${Errors}
        ; StrCmp compares without regard to case, as travenne does.
        ${If} $4 == "$WINDIR$R0"
        ${OrIf} $4 == "$WINDIR$R1"
        ${OrIf} $4 == "$WINDIR$R2"
        ${OrIf} $4 == "$WINDIR$R3"
        ${OrIf} $4 == "$WINDIR$R4"
          DetailPrint "Taking back the icon of drive $3:"
          DeleteRegKey HKCR "${DRIVES}\$3\DefaultIcon"
          DeleteRegKey /ifempty HKCR "${DRIVES}\$3"
        ${EndIf}
      ${EndIf}
    ${EndIf}
  ${Next}
  DeleteRegKey /ifempty HKCR "${DRIVES}"
  DeleteRegKey /ifempty HKCR "Applications\Explorer.exe"
  DeleteRegKey HKLM "${BOOKKEEPING}"
!macroend

; brelmot removes its own registrations when it is closed; one that it left
; behind (it was ended some other way) still names its program file, which
; is going: take back each volatile DefaultIcon whose value is
; "<Windows directory>\brelmot.exe,<index>". Others stay.
!macro TakeBackBrelmotIcons
  StrCpy $5 "$WINDIR\brelmot.exe,"
  StrLen $6 $5
  ${For} $2 0 25
    StrCpy $3 "ABCDEFGHIJKLMNOPQRSTUVWXYZ" 1 $2
    ClearErrors
    ReadRegStr $4 HKLM "${DRIVE_ICONS}\$3\DefaultIcon" ""
    StrCpy $4 $4 $6
    ${IfNot} ${Errors}
    ${AndIf} $4 == $5
      DetailPrint "Taking back brelmot's icon of drive $3:"
      DeleteRegKey HKLM "${DRIVE_ICONS}\$3\DefaultIcon"
    ${EndIf}
  ${Next}
!macroend

; What the Windows 98/Me programs put on the machine.
!macro RemoveBrelmot
  !insertmacro CloseBrelmot
  DeleteRegValue HKLM "${RUN}" "brelmot"
  !insertmacro TakeBackBrelmotIcons
  !insertmacro RemoveFile "$WINDIR\brelmot.exe"
!macroend

; What the Windows 2000/XP programs put on the machine. NORVA goes only when
; this package registered it, with the tool that registered it.
!macro RemoveTravenneAndService
  DeleteRegValue HKLM "${RUN}" "travenne"
  ReadRegDWORD $0 HKLM "${ARP}" "ServiceRegistered"
  ${If} $0 = 1
  ${AndIf} ${FileExists} "$INSTDIR\norvainst.exe"
    DetailPrint "Removing the service NORVA"
    ExecWait '"$INSTDIR\norvainst.exe" u' $0
  ${EndIf}
  WriteRegDWORD HKLM "${ARP}" "ServiceRegistered" 0
  !insertmacro TakeBackTravenneIcons
  !insertmacro RemoveTravenneFiles
  !insertmacro RemoveFile "$INSTDIR\norvainst.exe"
!macroend

; ---------------------------------------------------------------------------
; Installer

; Puts a file of the package in place: written beside its place under a
; temporary name first, then moved there. One in use (a running program, a
; loaded library) cannot be deleted: the new copy then replaces it when
; Windows restarts (MoveFileEx on the NT family, wininit.ini on 9x), and the
; setup program ends with 3010.
!macro InstallFile DIR NAME
  ClearErrors
  GetTempFileName $R9 "${DIR}"
  File "/oname=$R9" "${DIST}/${NAME}"
  ${If} ${Errors}
    Delete $R9
    MessageBox MB_OK|MB_ICONSTOP "${DIR}\${NAME} cannot be written.$\r$\n$\r$\nWhat was installed so far is removed by the uninstaller." /SD IDOK
    Abort "${DIR}\${NAME} cannot be written"
  ${EndIf}
  SetFileAttributes "${DIR}\${NAME}" FILE_ATTRIBUTE_NORMAL
  ClearErrors
  Delete "${DIR}\${NAME}"
  ${IfNot} ${Errors}
    Rename "$R9" "${DIR}\${NAME}"
  ${Else}
    ClearErrors
    Rename /REBOOTOK "$R9" "${DIR}\${NAME}"
    DetailPrint "${DIR}\${NAME} is in use: it is replaced when Windows restarts"
  ${EndIf}
  ${If} ${Errors}
    Delete $R9
    MessageBox MB_OK|MB_ICONSTOP "${DIR}\${NAME} cannot be replaced.$\r$\n$\r$\nWhat was installed so far is removed by the uninstaller." /SD IDOK
    Abort "${DIR}\${NAME} cannot be replaced"
  ${EndIf}
!macroend

; Registration first, so that an install stopped half-way can still be
; removed with the uninstaller.
Section "-Registration" SEC_REGISTRATION
  SetOverwrite try
  SetOutPath "$INSTDIR"
  ClearErrors
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "$INSTDIR\uninstall.exe cannot be written. Nothing was installed." /SD IDOK
    Abort "$INSTDIR\uninstall.exe cannot be written"
  ${EndIf}
  WriteRegStr HKLM "${ARP}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${ARP}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${ARP}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${ARP}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${ARP}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr HKLM "${ARP}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD HKLM "${ARP}" "VersionMajor" 1
  WriteRegDWORD HKLM "${ARP}" "VersionMinor" 0
  WriteRegDWORD HKLM "${ARP}" "NoModify" 1
  WriteRegDWORD HKLM "${ARP}" "NoRepair" 1
  Call WriteEstimatedSize
SectionEnd

; zeltadll.dll in the system folder, where every application finds it. Other
; software may ship the same library: Windows' SharedDLLs count holds one
; reference for this package (counted once, whatever the reinstalls), an
; older copy is upgraded, a newer one kept.
!macro InstallLibrary
  !insertmacro InstallLib DLL $ALREADY_INSTALLED REBOOT_NOTPROTECTED "${DIST}/zeltadll.dll" "$SYSDIR\zeltadll.dll" "$SYSDIR"
  StrCpy $ALREADY_INSTALLED 1
  WriteRegDWORD HKLM "${ARP}" "SharedDllCounted" 1
!macroend

Section "Card reader programs for Windows 2000/XP" SEC_NT
  SectionIn RO
  WriteRegStr HKLM "${ARP}" "Family" "NT"
  ${If} $PreviousFamily == "9x"
    !insertmacro RemoveBrelmot
  ${EndIf}
  !insertmacro InstallLibrary
  !insertmacro InstallFile "$WINDIR" "travenne.exe"
  !insertmacro InstallFile "$WINDIR" "cfico.ico"
  !insertmacro InstallFile "$WINDIR" "sdico.ico"
  !insertmacro InstallFile "$WINDIR" "smico.ico"
  !insertmacro InstallFile "$WINDIR" "msico.ico"
  !insertmacro InstallFile "$WINDIR" "comboico.ico"
  !insertmacro InstallFile "$INSTDIR" "norvainst.exe"
  WriteRegStr HKLM "${RUN}" "travenne" '"$WINDIR\travenne.exe"'

  ; NORVA: registered when its program is in the system folder and no
  ; service of that name exists; one that exists is left as it is, and stays
  ; ours only if an earlier install of this package registered it.
  ReadRegDWORD $ServiceOurs HKLM "${ARP}" "ServiceRegistered"
  ${If} $ServiceOurs != 1
    StrCpy $ServiceOurs 0
  ${EndIf}
  ClearErrors
  EnumRegValue $0 HKLM "${NORVA_KEY}" 0
  ${If} ${Errors}
    StrCpy $ServiceOurs 0
    ${If} ${FileExists} "$SYSDIR\norva.exe"
      DetailPrint "Registering the service NORVA"
      ExecWait '"$INSTDIR\norvainst.exe" i' $0
      ClearErrors
      EnumRegValue $0 HKLM "${NORVA_KEY}" 0
      ${IfNot} ${Errors}
        StrCpy $ServiceOurs 1
      ${Else}
        DetailPrint "The service NORVA could not be registered"
      ${EndIf}
    ${Else}
      DetailPrint "$SYSDIR\norva.exe is not there: the service NORVA is not registered"
    ${EndIf}
  ${EndIf}
  WriteRegDWORD HKLM "${ARP}" "ServiceRegistered" $ServiceOurs

  ; One pass now, so that present card readers have their icons before the
  ; next logon.
  DetailPrint "Running travenne"
  ExecWait '"$WINDIR\travenne.exe"' $0
SectionEnd

Section "Card reader programs for Windows 98/Me" SEC_9X
  SectionIn RO
  WriteRegStr HKLM "${ARP}" "Family" "9x"
  ${If} $PreviousFamily == "NT"
    !insertmacro RemoveTravenneAndService
  ${EndIf}
  ; A running copy holds its program file: close it first, start the new one
  ; at the end.
  !insertmacro CloseBrelmot
  !insertmacro InstallLibrary
  !insertmacro InstallFile "$WINDIR" "brelmot.exe"
  WriteRegStr HKLM "${RUN}" "brelmot" '"$WINDIR\brelmot.exe"'
  DetailPrint "Starting brelmot"
  SetOutPath "$WINDIR"
  Exec '"$WINDIR\brelmot.exe"'
SectionEnd

Section /o "Development files" SEC_DEV
  CreateDirectory "$INSTDIR\dev"
  !insertmacro InstallFile "$INSTDIR\dev" "zeltadll.h"
  !insertmacro InstallFile "$INSTDIR\dev" "zeltadll.def"
  !insertmacro InstallFile "$INSTDIR\dev" "zeltadll.lib"
  !insertmacro InstallFile "$INSTDIR\dev" "libzeltadll.dll.a"
  ; The console tool comes with packages that have it.
  !if /FileExists "${DIST}/zeltainfo.exe"
    !insertmacro InstallFile "$INSTDIR\dev" "zeltainfo.exe"
  !endif
SectionEnd

; Kilobytes: the files of the components chosen, and the uninstaller.
Function WriteEstimatedSize
  StrCpy $0 0
  ${If} ${SectionIsSelected} ${SEC_NT}
    SectionGetSize ${SEC_NT} $1
    IntOp $0 $0 + $1
  ${EndIf}
  ${If} ${SectionIsSelected} ${SEC_9X}
    SectionGetSize ${SEC_9X} $1
    IntOp $0 $0 + $1
  ${EndIf}
  ${If} ${SectionIsSelected} ${SEC_DEV}
    SectionGetSize ${SEC_DEV} $1
    IntOp $0 $0 + $1
  ${EndIf}
  FileOpen $1 "$INSTDIR\uninstall.exe" r
  FileSeek $1 0 END $2
  FileClose $1
  IntOp $2 $2 + 1023
  IntOp $2 $2 / 1024
  IntOp $0 $0 + $2
  WriteRegDWORD HKLM "${ARP}" "EstimatedSize" $0
FunctionEnd

Function .onInit
  !insertmacro RequireAdministrator "Setting up"
  ${GetParameters} $R0
  StrCpy $Family "NT"
  ${IfNot} ${IsNT}
    StrCpy $Family "9x"
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/WIN9X" $R1
  ${IfNot} ${Errors}
    StrCpy $Family "9x"
  ${EndIf}
  ; One family's programs: the other's section is unselected and hidden.
  ${If} $Family == "NT"
    !insertmacro UnselectSection ${SEC_9X}
    SectionSetText ${SEC_9X} ""
  ${Else}
    !insertmacro UnselectSection ${SEC_NT}
    SectionSetText ${SEC_NT} ""
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/DEV" $R1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SEC_DEV}
  ${EndIf}

  ReadRegStr $PreviousFamily HKLM "${ARP}" "Family"
  ReadRegDWORD $0 HKLM "${ARP}" "SharedDllCounted"
  StrCpy $ALREADY_INSTALLED ""
  ${If} $0 = 1
    StrCpy $ALREADY_INSTALLED 1
  ${EndIf}
FunctionEnd

!macro AskForRestart
  ${If} ${RebootFlag}
    SetErrorLevel ${ERROR_SUCCESS_REBOOT_REQUIRED}
    MessageBox MB_YESNO|MB_ICONQUESTION "Files in use are replaced when Windows restarts. Restart now?" /SD IDNO IDNO +2
    Reboot
  ${EndIf}
!macroend

Function .onInstSuccess
  !insertmacro AskForRestart
FunctionEnd

; ---------------------------------------------------------------------------
; Uninstaller: reverses every step of either family, whichever was installed;
; each step finds nothing to do when its piece is not there.

Function un.onInit
  !insertmacro RequireAdministrator "Removing"
FunctionEnd

Section "Uninstall"
  !insertmacro RemoveBrelmot
  !insertmacro RemoveTravenneAndService
  ReadRegDWORD $0 HKLM "${ARP}" "SharedDllCounted"
  ${If} $0 = 1
    ; Our reference goes; the file only when no other software counts on it.
    !insertmacro UnInstallLib DLL SHARED REBOOT_NOTPROTECTED "$SYSDIR\zeltadll.dll"
  ${EndIf}
  !insertmacro RemoveFile "$INSTDIR\dev\zeltadll.h"
  !insertmacro RemoveFile "$INSTDIR\dev\zeltadll.def"
  !insertmacro RemoveFile "$INSTDIR\dev\zeltadll.lib"
  !insertmacro RemoveFile "$INSTDIR\dev\libzeltadll.dll.a"
  !insertmacro RemoveFile "$INSTDIR\dev\zeltainfo.exe"
  !insertmacro RemoveFile "$INSTDIR\uninstall.exe"
  DeleteRegKey HKLM "${ARP}"
  ; Only folders left empty go: never what someone else put there.
  ${If} ${RebootFlag}
    RMDir /REBOOTOK "$INSTDIR\dev"
    RMDir /REBOOTOK "$INSTDIR"
  ${Else}
    RMDir "$INSTDIR\dev"
    RMDir "$INSTDIR"
  ${EndIf}
SectionEnd

Function un.onUninstSuccess
  !insertmacro AskForRestart
FunctionEnd
