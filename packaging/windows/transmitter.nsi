; Installer of the transmitter for Windows, built on Linux by makensis (Debian's nsis) from the
; files of the Windows build; the build passes VERSION, EXE, DLL, TYPES, GUIDE, LICENCE, SIM,
; SCHEMA, ICON and OUTFILE (and SIGN when it signs), and AMD64 for the installer of the 64-bit
; build, which installs into the 64-bit Program Files and writes the 64-bit registry view.
; Silent for managed deployment: setup.exe /S [/ADDTOPATH] [/D=folder], uninstall.exe /S.
Unicode true
!ifdef AMD64
    Target amd64-unicode
!endif
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "LogicLib.nsh"
!include "FileFunc.nsh"
!insertmacro un.GetParent
!include "WinMessages.nsh"
!include "WordFunc.nsh"
!include "StrFunc.nsh"
${StrRep}
${UnStrRep}

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Orvane Tessaly transmitter"
; With SetShellVarContext all, $APPDATA is the all-users folder (C:\ProgramData).
!define LOG_FOLDER "$APPDATA\Orvane\Tessaly\Dudiradaroz"
!define APP_PATHS_KEY "Software\Microsoft\Windows\CurrentVersion\App Paths\transmitter.exe"
!define ENVIRONMENT_KEY "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"
!define START_MENU "$SMPROGRAMS\Orvane Tessaly transmitter"
; The Application event log's source the program reports its background runs under.
!define EVENT_SOURCE_KEY "SYSTEM\CurrentControlSet\Services\EventLog\Application\transmitter"

; With a certificate, the build passes SIGN, the command that signs a file in place.
!ifdef SIGN
    !uninstfinalize '${SIGN} "%1"'
!endif

Name "Orvane Tessaly transmitter ${VERSION}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
!ifdef AMD64
    InstallDir "$PROGRAMFILES64\Orvane\Tessaly transmitter"
!else
    InstallDir "$PROGRAMFILES\Orvane\Tessaly transmitter"
!endif
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "Orvane Tessaly transmitter"
VIAddVersionKey "CompanyName" "Orvane"
VIAddVersionKey "FileDescription" "Orvane Tessaly transmitter setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Orvane"

LicenseData "${LICENCE}"
Page license
Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Transmitter" SectionProgram
    SectionIn RO
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    File "/oname=transmitter.exe" "${EXE}"
    File "/oname=qvtrxResources.dll" "${DLL}"
    File "/oname=file-types.xml" "${TYPES}"
    File "/oname=guide.html" "${GUIDE}"
    File "/oname=licence.txt" "${LICENCE}"
    File "/oname=orvane-sim.exe" "${SIM}"
    File "/oname=report.schema.json" "${SCHEMA}"
    File "/oname=stream.schema.json" "${STREAM_SCHEMA}"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    ; "start transmitter.exe" and the Run box find the program without PATH.
    WriteRegStr HKLM "${APP_PATHS_KEY}" "" "$INSTDIR\transmitter.exe"
    WriteRegStr HKLM "${APP_PATHS_KEY}" "Path" "$INSTDIR"
    CreateDirectory "${START_MENU}"
    CreateShortCut "${START_MENU}\Transmitter guide.lnk" "$INSTDIR\guide.html"
    CreateShortCut "${START_MENU}\Transmitter log.lnk" "${LOG_FOLDER}\transmitter.log"
    CreateShortCut "${START_MENU}\Licence.lnk" "$INSTDIR\licence.txt"
    CreateShortCut "${START_MENU}\Uninstall the transmitter.lnk" "$INSTDIR\uninstall.exe"

    ; Every user's runs append to the one log: the folder lets every member of Users change
    ; the files in it, whoever created them (Users is S-1-5-32-545 in every language).
    CreateDirectory "${LOG_FOLDER}"
    nsExec::ExecToLog 'icacls "${LOG_FOLDER}" /grant *S-1-5-32-545:(OI)(CI)M'
    Pop $0
    ; The log itself is made here, so that the Administrators group owns it: the program
    ; writes only a log that they or the user who runs it own.
    ${IfNot} ${FileExists} "${LOG_FOLDER}\transmitter.log"
        FileOpen $0 "${LOG_FOLDER}\transmitter.log" w
        FileClose $0
    ${EndIf}

    WriteRegExpandStr HKLM "${EVENT_SOURCE_KEY}" "EventMessageFile" "$INSTDIR\transmitter.exe"
    ; Errors, warnings and information.
    WriteRegDWORD HKLM "${EVENT_SOURCE_KEY}" "TypesSupported" 7

    ; The script types, registered by the program itself from the configuration.
    ExecWait '"$INSTDIR\transmitter.exe" "--install=$INSTDIR\file-types.xml"' $0
    ${If} $0 != 0
        DetailPrint "Registering the script types ended with status $0"
    ${EndIf}

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Orvane Tessaly transmitter"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Orvane"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\transmitter.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    ; In place (_?=): deployment tools run this string and read its status, which the copy the
    ; uninstaller makes of itself otherwise returns before the real uninstall has decided.
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S _?=$INSTDIR'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "HelpLink" "$INSTDIR\guide.html"
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Off unless chosen (or /ADDTOPATH in a silent install): batch files may call the program by
; its bare name from any folder. The uninstaller takes the folder out again.
Section /o "Add the program's folder to PATH" SectionPath
    ReadRegStr $0 HKLM "${ENVIRONMENT_KEY}" "Path"
    ${StrRep} $1 ";$0;" ";$INSTDIR;" ";"
    ${If} $1 == ";$0;"
        WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" "$0;$INSTDIR"
        SendMessage ${HWND_BROADCAST} ${WM_WININICHANGE} 0 "STR:Environment" /TIMEOUT=5000
        WriteRegDWORD HKLM "${UNINSTALL_KEY}" "AddedToPath" 1
    ${EndIf}
SectionEnd

; A running copy (a show sent in the background) holds transmitter.exe: replacing or removing
; the program under it would leave half an installation. Interactively the user may wait and
; retry; a silent run ends with status 2 and changes nothing.
!macro CheckNotRunning un
Function ${un}checkNotRunning
    retry:
    ${IfNot} ${FileExists} "$INSTDIR\transmitter.exe"
        Return
    ${EndIf}
    ClearErrors
    FileOpen $0 "$INSTDIR\transmitter.exe" a
    ${IfNot} ${Errors}
        FileClose $0
        Return
    ${EndIf}
    ${If} ${Silent}
        SetErrorLevel 2
        Quit
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
        "transmitter is still sending a show; wait for it or stop it (taskkill /IM transmitter.exe, see the guide), then choose Retry." \
        IDRETRY retry
    Quit
FunctionEnd
!macroend
!insertmacro CheckNotRunning ""
!insertmacro CheckNotRunning "un."

Function un.onInit
!ifdef AMD64
    SetRegView 64
!endif
    Call un.checkNotRunning
FunctionEnd

; An older version over a newer one is asked about, and refused in a silent run (status 3).
Function checkNotOlder
    ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "DisplayVersion"
    ${If} $1 == ""
        Return
    ${EndIf}
    ${VersionCompare} "${VERSION}" "$1" $2
    ${If} $2 != 2
        Return
    ${EndIf}
    ${If} ${Silent}
        SetErrorLevel 3
        Quit
    ${EndIf}
    MessageBox MB_YESNO|MB_ICONQUESTION \
        "The newer transmitter $1 is installed. Replace it with the older ${VERSION}?" IDYES +2
    Quit
FunctionEnd

Function .onInit
!ifdef AMD64
    SetRegView 64
!endif
    Call checkNotOlder
    Call checkNotRunning
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/ADDTOPATH" $1
    ${IfNot} ${Errors}
        SectionSetFlags ${SectionPath} ${SF_SELECTED}
    ${EndIf}
FunctionEnd

Section "Uninstall"
    SetShellVarContext all
    ExecWait '"$INSTDIR\transmitter.exe" "--uninstall=$INSTDIR\file-types.xml"' $0
    Delete "$INSTDIR\transmitter.exe"
    Delete "$INSTDIR\qvtrxResources.dll"
    Delete "$INSTDIR\file-types.xml"
    Delete "$INSTDIR\guide.html"
    Delete "$INSTDIR\licence.txt"
    Delete "$INSTDIR\orvane-sim.exe"
    Delete "$INSTDIR\report.schema.json"
    Delete "$INSTDIR\stream.schema.json"
    ; Run in place (_?=), the uninstaller cannot delete itself now: at the next start.
    Delete /REBOOTOK "$INSTDIR\uninstall.exe"
    RMDir /REBOOTOK "$INSTDIR"
    ; Left empty once the folder above goes, at the same start when that is put off.
    ${un.GetParent} "$INSTDIR" $1
    RMDir /REBOOTOK "$1"
    RMDir /r "${START_MENU}"
    DeleteRegKey HKLM "${APP_PATHS_KEY}"
    ReadRegDWORD $1 HKLM "${UNINSTALL_KEY}" "AddedToPath"
    ${If} $1 == 1
        ReadRegStr $0 HKLM "${ENVIRONMENT_KEY}" "Path"
        ${UnStrRep} $0 ";$0;" ";$INSTDIR;" ";"
        ${UnStrRep} $0 "$0" ";;" ";"
        StrCpy $0 $0 -1 1
        WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" "$0"
        SendMessage ${HWND_BROADCAST} ${WM_WININICHANGE} 0 "STR:Environment" /TIMEOUT=5000
    ${EndIf}
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    DeleteRegKey HKLM "${EVENT_SOURCE_KEY}"
    ; The log is the station's record of its runs: it stays, and so does its folder.
SectionEnd
