@echo off
rem An update as a batch file runs it with servicectl: install a service,
rem stop it for an update, overwrite its program, restore it; each step's
rem %ERRORLEVEL% decides, and a failure ends the file with a status of its
rem own. Arguments: servicectl.exe, the program, a folder for its copy.
rem Each check is an "if" of its own: Wine's cmd.exe runs what follows "||"
rem after a command whose output is redirected even when it succeeded.
setlocal
set "ctl=%~1"
set "source=%~2"
set "folder=%~3"
set "record=%folder%\update.record"
mkdir "%folder%" 2>nul
copy /y "%source%" "%folder%\svc.exe" >nul
if errorlevel 1 exit /b 2
"%ctl%" install tessera-batch "%folder%\svc.exe"
if %errorlevel% neq 0 exit /b %errorlevel%
"%ctl%" start tessera-batch
if %errorlevel% neq 0 exit /b %errorlevel%
rem While the service runs, its program cannot be replaced.
copy /y "%source%" "%folder%\svc.exe" >nul 2>nul
if not errorlevel 1 exit /b 3
"%ctl%" stop tessera-batch --for-update --record "%record%" --timeout 30000
if %errorlevel% neq 0 exit /b %errorlevel%
copy /y "%source%" "%folder%\svc.exe" >nul
if errorlevel 1 exit /b 4
"%ctl%" restore --record "%record%"
if %errorlevel% neq 0 exit /b %errorlevel%
"%ctl%" query tessera-batch | find "RUNNING" >nul
if errorlevel 1 exit /b 5
"%ctl%" start tessera-batch-absent 2>nul
if %errorlevel% neq 1060 exit /b 6
"%ctl%" stop 2>nul
if %errorlevel% neq 160 exit /b 7
"%ctl%" stop tessera-batch
if %errorlevel% neq 0 exit /b %errorlevel%
"%ctl%" delete tessera-batch --wait
if %errorlevel% neq 0 exit /b %errorlevel%
echo update_with_servicectl: every step passed
exit /b 0
