@echo off
rem spelvane-sync.cmd: holds the readers of this workstation to one setting,
rem for a start-up script or a software distribution tool to run as it is.
rem It takes the arguments of "spelvane-cli sync" (--hblank N, --half-clock
rem on or off, or a reference .set file, --json, --wait S and --report FILE)
rem and runs the spelvane-cli.exe beside it in the workstation folder (the
rem folder it stands in when there is none). A reader whose driver comes up
rem after the script starts is waited for 30 seconds unless --wait says
rem otherwise. Its exit status is spelvane-cli's:
rem 0 every reader holds it (written now or before), 1 a write failed or was
rem refused, 3 no reader, 4 the backup could not be saved, 5 the reference
rem file is unusable. It finds spelvane-cli.exe by its own folder, so it
rem runs wherever the 32-bit package put it: Program Files on 32-bit
rem Windows, Program Files (x86) on 64-bit. See site.md, installed beside
rem it (at the top of the zip).
set "spelvane_wait=--wait 30"
for %%a in (%*) do if /i "%%~a"=="--wait" set "spelvane_wait="
"%~dp0spelvane-cli.exe" --workstation sync %spelvane_wait% %*
exit /b %errorlevel%
