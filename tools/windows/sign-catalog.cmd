@echo off
rem Makes and signs the catalog lblv6.cat that lblv6.inf names (CatalogFile), on a Windows machine with
rem the Windows Driver Kit (Inf2Cat) and the Windows SDK (signtool) on the PATH, e.g. in a "Developer
rem Command Prompt", run as administrator (Inf2Cat needs it).
rem
rem   sign-catalog.cmd PACKAGE-FOLDER CERTIFICATE [TIMESTAMP-URL]
rem
rem PACKAGE-FOLDER is the unpacked lblv6 folder of lblv6.zip, whose DLLs and programs were already
rem Authenticode-signed by tools/sign-package.sh (the catalog records the hashes of the files as they
rem ship, so nothing in the folder may change afterwards). CERTIFICATE is either a .pfx file with the
rem code-signing certificate and key, whose password is read from the environment variable
rem LBL_SIGN_PASSWORD (not the command line), or the SHA-1 thumbprint of a certificate with its key in
rem the user's certificate store (a smart card or hardware token included). TIMESTAMP-URL is an RFC 3161
rem time-stamp server; without one the signature ends with the certificate.
setlocal
set "PKG=%~1"
set "CERT=%~2"
set "TSURL=%~3"
if "%PKG%"=="" goto usage
if "%CERT%"=="" goto usage
if not exist "%PKG%\lblv6.inf" (
  echo sign-catalog: no lblv6.inf in "%PKG%"
  exit /b 2
)
if exist "%PKG%\lblv6.cat" del "%PKG%\lblv6.cat"

rem 1. The catalog for Windows 10 and 11 (x64, x86) and Windows Server 2016 and later: one catalog for
rem    the whole package, as the INF's [Version] names it.
Inf2Cat /driver:"%PKG%" /os:10_X64,10_X86,Server10_X64 /verbose
if errorlevel 1 exit /b 1
if not exist "%PKG%\lblv6.cat" (
  echo sign-catalog: Inf2Cat made no lblv6.cat
  exit /b 1
)

rem 2. Signed with SHA-256, time-stamped when a server is given.
if exist "%CERT%" (
  if defined LBL_SIGN_PASSWORD (
    set SIGNER=/f "%CERT%" /p "%LBL_SIGN_PASSWORD%"
  ) else (
    set SIGNER=/f "%CERT%"
  )
) else (
  set SIGNER=/sha1 %CERT%
)
if "%TSURL%"=="" (
  signtool sign /fd SHA256 %SIGNER% "%PKG%\lblv6.cat"
) else (
  signtool sign /fd SHA256 %SIGNER% /tr "%TSURL%" /td SHA256 "%PKG%\lblv6.cat"
)
if errorlevel 1 exit /b 1

rem 3. The catalog's signature by the Plug and Play installation policy, and every file the INF copies
rem    found in it; then the embedded signatures of the binaries.
signtool verify /pa /v "%PKG%\lblv6.cat"
if errorlevel 1 exit /b 1
for %%A in (amd64 i386) do (
  for %%F in (lbldrv6.dll lbldrv6ui.dll lblmon.dll) do (
    signtool verify /pa /c "%PKG%\lblv6.cat" "%PKG%\%%A\%%F"
    if errorlevel 1 exit /b 1
  )
  signtool verify /pa "%PKG%\%%A\lbldrv6.dll" "%PKG%\%%A\lbldrv6ui.dll" "%PKG%\%%A\lblmon.dll" "%PKG%\%%A\lblinst32.exe"
  if errorlevel 1 exit /b 1
)
signtool verify /pa /c "%PKG%\lblv6.cat" "%PKG%\dat\lbldrv6.dat"
if errorlevel 1 exit /b 1
echo sign-catalog: "%PKG%\lblv6.cat" made, signed and verified
exit /b 0

:usage
echo usage: sign-catalog.cmd PACKAGE-FOLDER CERTIFICATE.pfx^|THUMBPRINT [TIMESTAMP-URL]
exit /b 2
