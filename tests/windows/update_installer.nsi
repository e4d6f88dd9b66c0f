; An installer built with NSIS that installs a service with servicectl
; (VERSION 1), or updates it (VERSION 2): stops it for the update, replaces
; its program and restores it. A step that fails aborts the installer with
; servicectl's exit status. makensis is given VERSION, OUTFILE, INSTDIR,
; SERVICECTL, PROGRAM and TIMEOUT.
!define SERVICE "tessera-nsis"
Name "Tessera ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "${INSTDIR}"
RequestExecutionLevel admin
SilentInstall silent

!macro Run command
  ExecWait '"$INSTDIR\servicectl.exe" ${command}' $0
  IntCmp $0 0 +3
  SetErrorLevel $0
  Abort
!macroend

Section
  SetOutPath "$INSTDIR"
  File "/oname=servicectl.exe" "${SERVICECTL}"
!if ${VERSION} == 1
  File "/oname=svc.exe" "${PROGRAM}"
  !insertmacro Run 'install ${SERVICE} "$INSTDIR\svc.exe"'
  !insertmacro Run 'start ${SERVICE}'
!else
  !insertmacro Run 'stop ${SERVICE} --for-update --record "$INSTDIR\update.record" --timeout ${TIMEOUT}'
  File "/oname=svc.exe" "${PROGRAM}"
  !insertmacro Run 'restore --record "$INSTDIR\update.record"'
!endif
SectionEnd
