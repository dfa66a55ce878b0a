@echo off
rem FinishInstall's tests, every program of this folder one after another (README.txt says more).
rem   run-tests [CASE...]    from a command prompt opened with "Run as administrator"
"%~dp0testbundle.exe" %*
exit /b %ERRORLEVEL%
