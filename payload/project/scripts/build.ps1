# Emberveil build script, demo payload.
#
# The real script configures and builds the two game executables and the
# launcher with the Zig, CMake and Ninja of toolchain\, the game into
# build\Release\ and the launcher as "Emberveil Launcher.exe" in the install
# folder. This demo keeps its output protocol, its exit codes and the files it
# leaves: it names each C file alone on its own line as it would compile it
# (the form the Microsoft compiler prints under MSBuild), prints compiler
# errors in that compiler's form ("file(line): error Cnnnn: text"), and copies
# the prebuilt demo programs bin\emberveil.exe and bin\launcher.exe into place.
# Exit code 0 on success, 1 otherwise.
#
# Test hooks (environment variables, unset in a real install):
#   EV_DEMO_BUILD_FAIL=1   after the first nine files, print two compiler error
#                          lines and exit 1
#   EV_DEMO_NO_LAUNCHER=1  succeed but leave no "Emberveil Launcher.exe" (one
#                          left by an earlier build is deleted)
#   EV_DEMO_BUILD_HANG=1   after the first nine files, start two children that
#                          keep printing until something ends them: ninja.exe
#                          in the background and zig.exe waited for; then exit 1
#   EV_DEMO_LONG_LINE=1    also print one line of 1500 bytes in the form of a C
#                          file name (its first 1023 bytes do not end in ".c")
#   EV_DEMO_SPLIT_CRLF=1   print the line "  main.c" in two pieces, then its CR
#                          and its LF, as separate writes with pauses between
#   EV_DEMO_NO_EOL=1       print the last file name without a line end and end
#                          there (exit 0)
#   EV_DEMO_BUILD_HOLD=1   hold still twice, 2.5 s each, so that the progress
#                          can be read: before "  main.c" of the game (after the
#                          long line, when that is printed) and after it; each
#                          hold prints a line saying so first
#   EV_DEMO_ERROR_PATH=DIR after the first nine files, print a compiler error
#                          line naming a file under DIR by its full path, and
#                          exit 1
#   EV_DEMO_ERROR_NO_EOL=1 after the first nine files, print a compiler error
#                          line without a line end as the last output; exit 1
#   EV_DEMO_LATE_CHILD=EXE after the first nine files, start EXE (the test
#                          suite's evchild) in the background to print a
#                          compiler error line 1.5 s later, and exit 1 at once
#
# Written in a plain subset of Windows PowerShell 5.1 (one statement a line,
# no pipeline but Out-Null) so that the test suite's stand-in runs it too.

$ErrorActionPreference = 'Stop'

if (-not (Test-Path 'src\recomp\main\gen\f0001.c')) {
    Write-Output 'build: no translated code in src\recomp\main\gen; scripts\recompile.ps1 must run first'
    exit 1
}
if (-not (Test-Path 'src\recomp\driving\gen\d0001.c')) {
    Write-Output 'build: no translated code in src\recomp\driving\gen; scripts\recompile.ps1 must run first'
    exit 1
}
if (-not (Test-Path 'bin\emberveil.exe')) {
    Write-Output 'build: bin\emberveil.exe is missing from the project'
    exit 1
}
if (-not (Test-Path 'bin\launcher.exe')) {
    Write-Output 'build: bin\launcher.exe is missing from the project'
    exit 1
}
if (Test-Path '.\toolchain\zig\zig.exe') {
    # Windows PowerShell 5.1 turns each line a native tool writes to standard
    # error into an error record when its own standard error is redirected, as
    # Setup's is; under 'Stop' that would end the script, so tools run under 'Continue'.
    $ErrorActionPreference = 'Continue'
    & '.\toolchain\zig\zig.exe' version
    $ErrorActionPreference = 'Stop'
    if ($LASTEXITCODE -ne 0) {
        Write-Output 'build: toolchain\zig\zig.exe does not run'
        exit 1
    }
}

Write-Output 'build: emberveil (Release)'
Write-Output 'src\recomp\main\gen\f0001.c'
Write-Output 'src\recomp\main\gen\f0002.c'
Write-Output 'src\recomp\main\gen\f0003.c'
Write-Output 'src\recomp\main\gen\f0004.c'
Write-Output 'src\recomp\main\gen\f0005.c'
Start-Sleep -Milliseconds 100
Write-Output 'external\tidewright\src\runtime.c'
Write-Output 'external\tidewright\src\memory.c'
Write-Output 'external\tidewright\src\kernel\thread.c'
Write-Output 'external\tidewright\src\kernel\file.c'
if ($env:EV_DEMO_BUILD_FAIL -eq '1') {
    Write-Output "src\game\main.c(12): error C2065: 'x': undeclared identifier"
    Write-Output "src\game\render.c(30): error C2143: syntax error: missing ';' before '}'"
    Write-Output 'build: failed (EV_DEMO_BUILD_FAIL)'
    exit 1
}
if ($env:EV_DEMO_ERROR_PATH) {
    Write-Output "$env:EV_DEMO_ERROR_PATH\src\game\main.c(12): error C2065: 'x': undeclared identifier"
    exit 1
}
if ($env:EV_DEMO_ERROR_NO_EOL -eq '1') {
    Write-Host -NoNewline 'src\launcher\launcher.c(3): fatal error C1004: unexpected end-of-file found'
    exit 1
}
if ($env:EV_DEMO_LATE_CHILD) {
    Start-Process -NoNewWindow -FilePath $env:EV_DEMO_LATE_CHILD -ArgumentList 'pause 1500 print "src\\game\\late.c(7): error C2001: printed after the script ended\r\n"'
    Write-Output 'build: failed, a compiler is still writing (EV_DEMO_LATE_CHILD)'
    exit 1
}
if ($env:EV_DEMO_BUILD_HANG -eq '1') {
    Start-Process -NoNewWindow -FilePath '.\toolchain\ninja\ninja.exe' -ArgumentList '--demo-spin'
    & '.\toolchain\zig\zig.exe' --demo-spin
    Write-Output 'build: the compiler was ended (EV_DEMO_BUILD_HANG)'
    exit 1
}
if ($env:EV_DEMO_LONG_LINE -eq '1') {
    Write-Host -NoNewline 'src\recomp\main\gen\'
    foreach ($i in 1..14) {
        Write-Host -NoNewline 'xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx'
    }
    Write-Host 'xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx.c'
}
if ($env:EV_DEMO_BUILD_HOLD -eq '1') {
    Write-Output 'build: holding before main.c (EV_DEMO_BUILD_HOLD)'
    Start-Sleep -Milliseconds 2500
}
if ($env:EV_DEMO_SPLIT_CRLF -eq '1') {
    Write-Host -NoNewline '  main'
    Start-Sleep -Milliseconds 200
    Write-Host -NoNewline '.c'
    Start-Sleep -Milliseconds 200
    Write-Host -NoNewline "`r"
    Start-Sleep -Milliseconds 200
    Write-Host -NoNewline "`n"
} else {
    Write-Output '  main.c'
}
if ($env:EV_DEMO_BUILD_HOLD -eq '1') {
    Write-Output 'build: holding after main.c (EV_DEMO_BUILD_HOLD)'
    Start-Sleep -Milliseconds 2500
}
Write-Output '  render.c'
Write-Output '  input.c'
Write-Output '  audio.c'

Write-Output 'build: driving (Release)'
Write-Output 'src\recomp\driving\gen\d0001.c'
Write-Output 'src\recomp\driving\gen\d0002.c'
Write-Output 'src\recomp\driving\gen\d0003.c'
Start-Sleep -Milliseconds 100
Write-Output '  main.c'
Write-Output '  render.c'
Write-Output '  input.c'
Write-Output '  audio.c'

Write-Output 'build: Emberveil Launcher (Release)'
if ($env:EV_DEMO_NO_EOL -eq '1') {
    Write-Host -NoNewline '  launcher.c'
} else {
    Write-Output '  launcher.c'
}
New-Item -ItemType Directory -Force -Path 'build\Release' | Out-Null
Copy-Item -Path 'bin\emberveil.exe' -Destination 'build\Release\emberveil.exe' -Force
if ($env:EV_DEMO_NO_LAUNCHER -eq '1') {
    if (Test-Path 'Emberveil Launcher.exe') {
        Remove-Item -Path 'Emberveil Launcher.exe' -Force
    }
} else {
    Copy-Item -Path 'bin\launcher.exe' -Destination 'Emberveil Launcher.exe' -Force
}
if ($env:EV_DEMO_NO_EOL -eq '1') {
    exit 0
}
Write-Output 'build: done'
exit 0
