# Emberveil translation script, demo payload.
#
# The real script translates the game's two executables, game\default.xbe and
# game\Driving.xbe, into C with the toolkit's tools and the Python of
# toolchain\. This demo keeps its output protocol, its exit codes and the
# folders it fills, but writes a handful of placeholder C files instead.
#
# Protocol: for the main executable, "  main: <tool>" as each tool starts and
# "  main: <tool> done (<seconds>s)" as it ends, for tools.xbe_parser,
# tools.disasm, tools.func_id, tools.abi_analysis and tools.recomp in that
# order; the driving executable's lines say "driving: " instead. When the
# inputs of the last three tools are unchanged since the last successful run,
# "  main: identify/abi/lift inputs unchanged, skipped" follows the end of
# tools.disasm and those three tools don't run. Exit code 0 when both
# executables were translated, 1 otherwise.
#
# Test hooks (environment variables, unset in a real install):
#   EV_DEMO_FAIL_LIFT=1  print the tool lines as usual, then fail with exit 1
#                        (the inputs stamp is not written)
#   EV_DEMO_LIFT_HANG=1  once tools.disasm has started, run a child that keeps
#                        printing until something ends it; then exit 1
#   EV_DEMO_INPUTS=TEXT  stands for the game's inputs: a run whose text differs
#                        from the last successful run's translates all again
#   EV_DEMO_LIFT_HOLD=1  before a successful end, print a line saying so and
#                        wait 3 s, so that the progress can be read
#
# Written in a plain subset of Windows PowerShell 5.1 (one statement a line,
# no pipeline but Out-Null) so that the test suite's stand-in runs it too.

$ErrorActionPreference = 'Stop'
$main = 'game\default.xbe'
$driving = 'game\Driving.xbe'
$stamp = 'src\recomp\main\inputs.stamp'
$inputs = "demo inputs 1 $env:EV_DEMO_INPUTS"

if (-not (Test-Path $main)) {
    Write-Output "recompile: $main is missing; the game files must be copied first"
    exit 1
}
if (-not (Test-Path $driving)) {
    Write-Output "recompile: $driving is missing; the game files must be copied first"
    exit 1
}

$old = ''
if (Test-Path $stamp) {
    if (Test-Path 'src\recomp\main\gen\f0001.c') {
        $old = Get-Content -Path $stamp
    }
}
if (Test-Path '.\toolchain\python\python.exe') {
    # Windows PowerShell 5.1 turns each line a native tool writes to standard
    # error into an error record when its own standard error is redirected, as
    # Setup's is; under 'Stop' that would end the script, so tools run under 'Continue'.
    $ErrorActionPreference = 'Continue'
    & '.\toolchain\python\python.exe' --version
    $ErrorActionPreference = 'Stop'
}
New-Item -ItemType Directory -Force -Path 'src\recomp\main\gen' | Out-Null
New-Item -ItemType Directory -Force -Path 'src\recomp\driving\gen' | Out-Null

Write-Output '  main: tools.xbe_parser'
Write-Output '  driving: tools.xbe_parser'
Start-Sleep -Milliseconds 100
Write-Output '  main: tools.xbe_parser done (0.1s)'
Write-Output '  driving: tools.xbe_parser done (0.1s)'
Write-Output '  main: tools.disasm'
Write-Output '  driving: tools.disasm'
if ($env:EV_DEMO_LIFT_HANG -eq '1') {
    & '.\toolchain\python\python.exe' --demo-spin
    Write-Output 'recompile: the disassembler was ended (EV_DEMO_LIFT_HANG)'
    exit 1
}
Start-Sleep -Milliseconds 400
Write-Output '  main: tools.disasm done (0.4s)'
Write-Output '  driving: tools.disasm done (0.3s)'

if ($old -eq $inputs) {
    Write-Output '  main: identify/abi/lift inputs unchanged, skipped'
    Write-Output '  driving: identify/abi/lift inputs unchanged, skipped'
} else {
    if (Test-Path $stamp) {
        Remove-Item -Path $stamp
    }
    Write-Output '  main: tools.func_id'
    Write-Output '  driving: tools.func_id'
    Start-Sleep -Milliseconds 100
    Write-Output '  main: tools.func_id done (0.1s)'
    Write-Output '  driving: tools.func_id done (0.1s)'
    Write-Output '  main: tools.abi_analysis'
    Write-Output '  driving: tools.abi_analysis'
    Start-Sleep -Milliseconds 100
    Write-Output '  main: tools.abi_analysis done (0.1s)'
    Write-Output '  driving: tools.abi_analysis done (0.1s)'
    Write-Output '  main: tools.recomp'
    Write-Output '  driving: tools.recomp'
    Set-Content -Path 'src\recomp\main\gen\f0001.c' -Value "/* Demo translation of default.xbe. */`r`nint ev_f0001(void) { return 1; }"
    Set-Content -Path 'src\recomp\main\gen\f0002.c' -Value "/* Demo translation of default.xbe. */`r`nint ev_f0002(void) { return 2; }"
    Set-Content -Path 'src\recomp\main\gen\f0003.c' -Value "/* Demo translation of default.xbe. */`r`nint ev_f0003(void) { return 3; }"
    Set-Content -Path 'src\recomp\main\gen\f0004.c' -Value "/* Demo translation of default.xbe. */`r`nint ev_f0004(void) { return 4; }"
    Set-Content -Path 'src\recomp\main\gen\f0005.c' -Value "/* Demo translation of default.xbe. */`r`nint ev_f0005(void) { return 5; }"
    Set-Content -Path 'src\recomp\driving\gen\d0001.c' -Value "/* Demo translation of Driving.xbe. */`r`nint ev_d0001(void) { return 1; }"
    Set-Content -Path 'src\recomp\driving\gen\d0002.c' -Value "/* Demo translation of Driving.xbe. */`r`nint ev_d0002(void) { return 2; }"
    Set-Content -Path 'src\recomp\driving\gen\d0003.c' -Value "/* Demo translation of Driving.xbe. */`r`nint ev_d0003(void) { return 3; }"
    Start-Sleep -Milliseconds 500
    Write-Output '  main: tools.recomp done (0.5s)'
    Write-Output '  driving: tools.recomp done (0.5s)'
}

if ($env:EV_DEMO_FAIL_LIFT -eq '1') {
    Write-Output 'recompile: the translation failed (EV_DEMO_FAIL_LIFT)'
    exit 1
}
Set-Content -Path $stamp -Value $inputs
Write-Output 'recompile: both executables translated'
if ($env:EV_DEMO_LIFT_HOLD -eq '1') {
    Write-Output 'recompile: holding (EV_DEMO_LIFT_HOLD)'
    Start-Sleep -Milliseconds 3000
}
exit 0
