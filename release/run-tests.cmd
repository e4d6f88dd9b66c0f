@echo off
rem Runs every test program of this bundle, x86 and x64, each with its
rem results in an XML file beside it, and ends with exit status 0 only when
rem every program passed. Its arguments go on to each program, for example
rem   run-tests.cmd --gtest_filter=BothPlatforms/ScenarioTest.*
rem The tests register, start and delete services: run it from an elevated
rem command prompt.
setlocal
set "arguments=%*"
set ran=0
set failed=0
set failures=
rem Relative patterns: the folder's own path may hold spaces.
pushd "%~dp0"
for %%p in (x86\*_tests.exe) do call :run %%p
for %%p in (x64\*_tests.exe) do call :run %%p
popd
if %ran% equ 0 (
  echo run-tests: no test programs found beside %~f0
  exit /b 1
)
if %failed% neq 0 (
  echo run-tests: %failed% of %ran% test programs failed:%failures%
  exit /b 1
)
echo run-tests: all %ran% test programs passed
exit /b 0

:run
echo === %1
"%~f1" "--gtest_output=xml:%~dpn1.xml" %arguments%
rem Any status but 0 fails: "if errorlevel 1" misses a negative one, and a
rem crash (0xC0000005) or an exit with -1 is negative.
if %errorlevel% neq 0 (
  set /a failed+=1
  set "failures=%failures% %1"
)
set /a ran+=1
exit /b 0
