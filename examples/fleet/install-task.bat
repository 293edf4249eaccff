@echo off
rem Sets up the nightly collection of this HMI PC. Copy this file and
rem quillet-template.ini into the folder that holds quillet.exe (normally
rem C:\MorvaTools) and run it there once as an administrator.
rem
rem It writes quillet.ini from the template with this PC's name in the
rem archive folder on the server, then creates the scheduled task "Quillet",
rem which starts "quillet.exe auto" every night in the operator's session.
rem Run it again after changing the template: it replaces both.
rem A PC set up this way sends its archives to the share and is not for
rem collect.yml, whose runs over WinRM cannot reach a share.
rem Written for Windows 7 and later; the schtasks of Windows XP wants the
rem start time as HH:MM:SS.
setlocal EnableDelayedExpansion

rem The account that is logged on to run the HMI, and the time of the run.
set OPERATOR=%COMPUTERNAME%\Operator
set START_TIME=02:30

rem This file's folder, without its closing backslash.
set TOOLS=%~dp0
set TOOLS=%TOOLS:~0,-1%
rem Inside parentheses the folder is named as !TOOLS!, since a ")" in its
rem name would end the block early.
if not exist "%TOOLS%\quillet.exe" (
  echo quillet.exe is not in !TOOLS!.
  exit /b 1
)
if not exist "%TOOLS%\quillet-template.ini" (
  echo quillet-template.ini is not in !TOOLS!.
  exit /b 1
)
rem The task's command line is the program's path and its argument, and a
rem path with a blank would split in two.
if not "%TOOLS%"=="%TOOLS: =%" (
  echo The folder !TOOLS! holds a blank; move the tools to one without.
  exit /b 1
)

rem Every line of the template is written out with %COMPUTERNAME% replaced
rem by this PC's name; for /f leaves out the empty and the comment lines.
rem (The template must hold no "!", which the line-by-line copy would eat.)
(for /f "usebackq delims=" %%L in ("%TOOLS%\quillet-template.ini") do (
  set "line=%%L"
  echo(!line:%%COMPUTERNAME%%=%COMPUTERNAME%!
)) > "%TOOLS%\quillet.ini" || exit /b 1
echo Settings written to %TOOLS%\quillet.ini:
type "%TOOLS%\quillet.ini"

rem /it: the task runs only while the operator is logged on, inside the
rem operator's session, because the run takes a picture of the screen and
rem clicks the HMI's debug window. It uses the operator's logon and stores no
rem password. A task of the SYSTEM account would see neither the screen nor
rem the debug window, nor reach the share with the operator's rights.
rem /f replaces a task of the same name.
schtasks /create /f /tn Quillet /tr "%TOOLS%\quillet.exe auto" /sc daily /st %START_TIME% /ru "%OPERATOR%" /it
if errorlevel 1 exit /b 1

rem To try it at once:  schtasks /run /tn Quillet
rem The archives then appear in the TargetPath folder named above.
