; NSIS script: installs the vrkini package (the folder that the ZIP or
; `cmake --install` gives) and brings the Selvarine profile up to date.
;
; Copy this file into the package folder, next to vrkini.exe, and build there:
;   makensis vrkini.nsi              installer of the 32-bit package
;   makensis -DWIN64 vrkini.nsi      installer of the 64-bit package (itself 64-bit)
;   makensis -DOUTFILE=X.exe ...     another name than vrkini-setup.exe (for
;                                    a bare Setup.exe makensis warns of
;                                    Windows' compatibility shims)
; Run it:
;   vrkini-setup.exe /S /D=C:\SELVARINE  silent; /D= comes last, unquoted,
;                                       also when the path holds blanks
;   vrkini-setup.exe /S /TRACE /D=...   also traces vrkini into vrkini-trace.log
;   Uninstall.exe /S                    silent removal; it goes on from a copy
;                                       in %TEMP% and returns at once. To wait
;                                       for the end (Uninstall.exe and the
;                                       folder stay):
;   Uninstall.exe /S _?=C:\SELVARINE
;
; What the installer leaves in the installation folder:
;   vrkini-update.log   vrkini's change report: one "was changed:" line (with
;                       "from" and "to") or one "already has ..." line per entry.
;                       An empty report means that no Selvarine profile exists.
;   vrkini-trace.log    with /TRACE: vrkini's trace. "No Selvarine profile was
;                       found" says the profile is missing.
;
; Notes for authors:
; - vrkini's exit status is always 0; the report and the trace are the only
;   ways to tell what it did.
; - The report is longer than NSIS's strings (1024 characters), so
;   nsExec::ExecToLog and ExecToStack cut it. cmd.exe writes it to a file.
; - Debian's makensis has no logging build (LogSet fails).
; - vrkini removes the sample queries only when it is given the installation
;   folder without a trailing backslash. $INSTDIR has none (except for a drive
;   root such as C:\), so "$INSTDIR" is passed as it is.
; - The trace variables are set here with SetEnvironmentVariable, in the form
;   with a blank; vrkini inherits them. (Wine passes no Unix variable whose
;   name holds a blank; the TORQA_... forms work from outside too.)

Unicode true
!ifdef WIN64
  Target amd64-unicode
  !define PROGRAMS_FOLDER "$PROGRAMFILES64"
!else
  !define PROGRAMS_FOLDER "$PROGRAMFILES"
!endif
!ifndef OUTFILE
  !define OUTFILE vrkini-setup.exe
!endif
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Selvarine vrkini"

!include LogicLib.nsh
!include FileFunc.nsh

Name "Selvarine profile maintenance"
OutFile "${OUTFILE}"
InstallDir "${PROGRAMS_FOLDER}\Selvarine"
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show

Section "Install"
  SetOutPath "$INSTDIR"
  File vrkini.exe
  File vrkreg.exe
  File vrktrace.exe
  File vrkmsg.dll
  File README-windows.txt
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Selvarine profile maintenance"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'

  ; /TRACE on the installer's command line: vrkini traces into a file.
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/TRACE" $1
  ${IfNot} ${Errors}
    System::Call 'kernel32::SetEnvironmentVariable(t "TORQA TRACETO", t "FILE")'
    System::Call 'kernel32::SetEnvironmentVariable(t "TORQA TRACEFILE", t "$INSTDIR\vrkini-trace.log")'
  ${EndIf}

  ; cmd /S /C "..." runs the text between the outer quotes as it is.
  DetailPrint "Updating the Selvarine profile (report in vrkini-update.log)"
  nsExec::Exec '"$SYSDIR\cmd.exe" /S /C ""$INSTDIR\vrkini.exe" -UPDATE "$INSTDIR" >"$INSTDIR\vrkini-update.log" 2>&1"'
  Pop $0 ; "error" when cmd.exe could not start; otherwise vrkini's status (0)
SectionEnd

Section "Uninstall"
  ; vrkini -DELETE removes the file SV.INI from its working directory, the
  ; installation folder; nsExec waits for it.
  SetOutPath "$INSTDIR"
  nsExec::Exec '"$INSTDIR\vrkini.exe" -DELETE'
  Pop $0
  SetOutPath "$TEMP"
  Delete "$INSTDIR\vrkini.exe"
  Delete "$INSTDIR\vrkreg.exe"
  Delete "$INSTDIR\vrktrace.exe"
  Delete "$INSTDIR\vrkmsg.dll"
  Delete "$INSTDIR\README-windows.txt"
  Delete "$INSTDIR\vrkini-update.log"
  Delete "$INSTDIR\vrkini-trace.log"
  Delete "$INSTDIR\Uninstall.exe"
  ; Only an empty folder goes: files of the user's stay.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
