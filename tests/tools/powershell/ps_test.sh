#!/usr/bin/env bash
# The powershell.exe stand-in, started from the prefix's system path with the
# command line Setup uses: the subset our scripts are written in gives the
# output, files and exit codes Windows PowerShell 5.1 gives, and anything else
# is refused. With PAYLOAD_DIR, the payload's two scripts run through it too
# (ps_payload.sh).
#   bash ps_test.sh BUILD_DIR [PAYLOAD_DIR]
set -u
build=$(cd "$1" && pwd)
payload=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../support/support.sh"
t=$build/tests/ps_test
ps_exe='C:\windows\system32\WindowsPowerShell\v1.0\powershell.exe'
child=$(win "$build/tests/tools/evchild.exe")

# ps_run CWD SCRIPT [ARGS...]: runs SCRIPT as Setup runs a script, or with
# ARGS instead of Setup's options; exit code in $rc, output in $t/out and $t/err.
ps_run() {
  local cwd=$1 file=$2
  shift 2
  [ $# -gt 0 ] || set -- -NoProfile -ExecutionPolicy RemoteSigned -File "$(win "$file")"
  (cd "$cwd" && "$h" run "$build" "$ps_exe" "$@" >"$t/out" 2>"$t/err")
  rc=$?
}

# script NAME: standard input, with CR LF line ends, becomes $t/NAME.ps1.
script() { sed 's/$/\r/' >"$t/$1.ps1"; }

# expect WHAT CODE OUT: the last run's exit code, and its output byte for byte
# (OUT with backslash escapes).
expect() {
  [ "$rc" = "$2" ]
  check $? "$1: exit code $rc, not $2 ($(head -c 300 "$t/err"))"
  printf '%b' "$3" | cmp -s - "$t/out"
  check $? "$1: output was: $(od -c "$t/out" | head -6)"
}

rm -rf "$t"
mkdir -p "$t/run/sub"
cp "$build/tests/tools/evchild.exe" "$t/run/sub/tool.exe"

script write <<'EOF'
# A comment line, and a blank one.

Write-Output 'plain'
Write-Output "two  blanks, it's $env:EV_PS_WORD" # and a trailing comment
Write-Output 'it''s quoted'
Write-Output 42
Write-Output $null
Write-Output ''
Write-Host -NoNewline 'no line end, '
Write-Host 'then one'
Write-Host
Write-Output 'swallowed' | Out-Null
Write-Host 'host output is not' | Out-Null
$v = 'a variable'
Write-Output "tab`there, $v"
EOF
EV_PS_WORD=abc ps_run "$t/run" "$t/write.ps1"
expect "writing lines" 0 "plain\r\ntwo  blanks, it's abc\r\nit's quoted\r\n42\r\n\r\nno line end, then one\r\n\r\nhost output is not\r\ntab\there, a variable\r\n"

# exit: its code, the end of the script, and 0 without one.
for row in "exit 3|3|a\r\n" "exit|0|a\r\n" "exit \$LASTEXITCODE|0|a\r\n" "|0|a\r\nb\r\n"; do
  IFS='|' read -r stmt code out <<<"$row"
  printf "Write-Output 'a'\n%s\nWrite-Output 'b'\n" "$stmt" | grep -v '^$' | script exit
  ps_run "$t/run" "$t/exit.ps1"
  expect "'${stmt:-no exit}'" "$code" "$out"
done

# Conditions: condition | whether it holds. EV_PS_ONE=1, EV_PS_ZERO=0 and
# EV_PS_WORD=abc are set, EV_PS_UNSET is not, there.txt and folder\ exist.
conds=(
  "Test-Path 'there.txt'|yes"
  "Test-Path -Path 'absent.txt'|no"
  "-not (Test-Path 'absent.txt')|yes"
  "Test-Path 'folder' -PathType Container|yes"
  "Test-Path 'there.txt' -PathType 'Container'|no"
  "Test-Path 'folder' -PathType Leaf|no"
  "\$env:EV_PS_ONE -eq '1'|yes"
  "\$env:EV_PS_ONE -ne '1'|no"
  "\$env:ev_ps_one -eq 1|yes"
  "\$env:EV_PS_WORD -eq 'ABC'|yes"
  "\$env:EV_PS_UNSET -eq '1'|no"
  "\$env:EV_PS_UNSET -eq \$null|yes"
  "\$env:EV_PS_UNSET|no"
  "\$env:EV_PS_ZERO|yes"
  "0|no"
  "\$LASTEXITCODE -ne 0|yes"
  "\$LASTEXITCODE -eq '0'|no"
)
: >"$t/cond.txt"
want=""
i=0
for row in "${conds[@]}"; do
  IFS='|' read -r cond truth <<<"$row"
  i=$((i + 1))
  printf 'if (%s) {\n    Write-Output "%d yes"\n} else {\n    Write-Output "%d no"\n}\n' "$cond" $i $i >>"$t/cond.txt"
  want="$want$i $truth\\r\\n"
done
cat >>"$t/cond.txt" <<'EOF'
& '.\sub\tool.exe' exit 5
if ($LASTEXITCODE -eq '05') { Write-Output 'numbers compare as numbers' }
if (Test-Path 'absent.txt') {
    Write-Output 'wrong'
} elseif ($env:EV_PS_ONE -eq '2') {
    Write-Output 'wrong'
} elseif ($env:EV_PS_ONE -eq '1') {
    Write-Output 'second elseif'
} else {
    Write-Output 'wrong'
}
EOF
script cond <"$t/cond.txt"
: >"$t/run/there.txt"
mkdir -p "$t/run/folder"
EV_PS_ONE=1 EV_PS_ZERO=0 EV_PS_WORD=abc ps_run "$t/run" "$t/cond.ps1"
expect "conditions" 0 "${want}numbers compare as numbers\r\nsecond elseif\r\n"

# Files and folders, checked on disk afterwards.
mkdir -p "$t/files"
printf 'an older, longer file\r\n' >"$t/files/old.txt"
script files <<'EOF'
New-Item -ItemType Directory -Path 'd\e\f' | Out-Null
New-Item -ItemType Directory -Force -Path 'd\e\f' | Out-Null
New-Item -ItemType 'File' -Path 'd\new.txt' | Out-Null
New-Item -ItemType File -Force -Path 'g\h\made.txt' | Out-Null
Set-Content -Path 'd\s.txt' -Value "one`r`ntwo"
Set-Content -Path 'd\line.txt' -Value 'one line'
Copy-Item -Path 'd\s.txt' -Destination 'd\e'
Copy-Item 'd\s.txt' 'd\copy.txt'
Copy-Item -Path 'd\s.txt' -Destination 'old.txt' -Force
Remove-Item -Path 'd\copy.txt'
$c = Get-Content -Path 'd\line.txt'
Write-Output "read: $c"
$c = Get-Content -Path 'd\s.txt' -Raw
Write-Output "raw: $c."
foreach ($i in 3..1) {
    Write-Output "count $i"
}
EOF
ps_run "$t/files" "$t/files.ps1"
expect "files and folders" 0 "read: one line\r\nraw: one\r\ntwo\r\n.\r\ncount 3\r\ncount 2\r\ncount 1\r\n"
f=$t/files
[ -d "$f/d/e/f" ] && [ -f "$f/d/new.txt" ] && [ ! -s "$f/d/new.txt" ] && [ -f "$f/g/h/made.txt" ]
check $? "New-Item: folders or empty files missing: $(cd "$f" && find . | tr '\n' ' ')"
[ "$(od -An -c "$f/d/s.txt" | tr -s ' ')" = " o n e \r \n t w o \r \n" ]
check $? "Set-Content: d\\s.txt holds $(od -An -c "$f/d/s.txt")"
cmp -s "$f/d/s.txt" "$f/d/e/s.txt" && cmp -s "$f/d/s.txt" "$f/old.txt" && [ ! -e "$f/d/copy.txt" ]
check $? "Copy-Item/Remove-Item: copies wrong or d\\copy.txt still there"

# A program started with "&" writes straight into our output and sets
# $LASTEXITCODE; Start-Process -NoNewWindow leaves it running on our output.
cat >"$t/child.txt" <<EOF
& '$child' print 'from the child\r\n' err 'to stderr\r\n' exit 4
Write-Output "exit code \$LASTEXITCODE"
& '.\\sub\\tool.exe' print 'two words\r\n' print 'a b' print '\r\n'
Write-Output "exit code \$LASTEXITCODE"
Start-Process -NoNewWindow -FilePath '.\\sub\\tool.exe' -ArgumentList 'pause 1500 print late\r\n'
Write-Output 'script ends'
EOF
script child <"$t/child.txt"
ps_run "$t/run" "$t/child.ps1"
wait_for 10 grep -q late "$t/out"
expect "child programs" 0 "from the child\r\nexit code 4\r\ntwo words\r\na b\r\nexit code 0\r\nscript ends\r\nlate\r\n"
grep -q 'to stderr' "$t/err"
check $? "child programs: the child's standard error did not reach ours"

# A failing command: with $ErrorActionPreference 'Stop' the script ends with
# exit code 1 and a message; by default it goes on (and ends with 0).
failing=(
  "Copy-Item -Path 'absent.txt' -Destination 'x.txt'"
  "Remove-Item -Path 'absent.txt'"
  "New-Item -ItemType File -Path 'there.txt' | Out-Null"
  "New-Item -ItemType Directory -Path 'there.txt' | Out-Null"
  "New-Item -ItemType File -Path 'no\\such\\folder\\x.txt' | Out-Null"
  "\$x = Get-Content -Path 'absent.txt'"
  "& '.\\absent.exe'"
)
for line in "${failing[@]}"; do
  for pref in Stop Continue; do
    printf "\$ErrorActionPreference = '%s'\nWrite-Output 'before'\n%s\nWrite-Output 'after'\n" "$pref" "$line" | script stop
    ps_run "$t/run" "$t/stop.ps1"
    if [ $pref = Stop ]; then expect "$line, Stop" 1 'before\r\n'; else expect "$line, Continue" 0 'before\r\nafter\r\n'; fi
    [ -s "$t/err" ]
    check $? "$line, $pref: no error message"
  done
done

# Outside the subset: when | line | text the message must hold (the line itself
# when empty). A line whose form is not ours ("parse") fails the script before
# anything runs, even in a branch that is not taken, as a parse error does in
# PowerShell; the rest ("run") fail as they are reached, after what came before.
outside=(
  "parse|Get-ChildItem -Path '.'|"
  "parse|Write-Output 'a'; Write-Output 'b'|"
  "parse|Write-Output \"\$(Get-Date)\"|"
  "parse|Write-Output @('a', 'b')|"
  "parse|Write-Output 'a', 'b'|"
  "parse|[int]\$x = 5|"
  "parse|function f {|"
  "parse|while (1) {|"
  "parse|Write-Output 'a' > out.txt|"
  "parse|Write-Output \$x.Length|"
  "parse|if (\$env:EV_PS_ONE -eq 'a') { Get-Date }|"
  "parse|Write-Output 'caf$(printf '\303\251')'|a byte outside ASCII"
  "parse|if (Test-Path 'a') {|a block is not closed"
  "parse|else {|"
  "run|Write-Output 'a' | Sort-Object|"
  "run|\$x = Test-Path 'a'|"
  "run|Write-Output \$PSScriptRoot|"
  "run|Write-Output \$true|"
  "run|Start-Sleep -s 1|"
  "run|New-Item -ItemType Directory -Path 'x'|"
  "run|New-Item -ItemType Junction -Path 'x' | Out-Null|"
  "run|Copy-Item -Path 'folder' -Destination 'x' -Recurse|"
  "run|if (Test-Path 'a*') { Write-Output 'x' }|"
  "run|& 'tool.exe'|"
  "run|& '.\\sub\\tool.exe' ''|"
  "run|& '.\\sub\\tool.exe' 'say \"hi\"'|"
  "run|if (5 -eq 'five') { Write-Output 'x' }|"
)
for row in "${outside[@]}"; do
  when=${row%%|*} line=${row#*|} needle=${row##*|}
  line=${line%|*}
  if [ "$when" = parse ]; then
    printf "Write-Output 'first'\nif (Test-Path 'absent.txt') {\n    %s\n}\n" "$line" | script outside
    out=""
  else
    printf "Write-Output 'first'\n%s\nWrite-Output 'second'\n" "$line" | script outside
    out='first\r\n'
  fi
  ps_run "$t/run" "$t/outside.ps1"
  [ "$rc" != 0 ] && printf '%b' "$out" | cmp -s - "$t/out"
  check $? "outside the subset, '$line': exit code $rc, output $(head -c 100 "$t/out")"
  grep -qF -- "${needle:-$line}" "$t/err"
  check $? "outside the subset, '$line': message was $(head -c 300 "$t/err")"
done

# Command lines outside the subset: arguments | text the message must hold.
printf "Write-Output 'ran'\r\n" >"$t/run/plain.txt"
cmdlines=(
  "-NoProfile -Command Write-Output|-Command"
  "-NoProfile -File|-File"
  "-File $(win "$t/absent.ps1")|does not exist"
  "-File $(win "$t/run/plain.txt")|.ps1"
)
for row in "${cmdlines[@]}"; do
  IFS='|' read -r args needle <<<"$row"
  ps_run "$t/run" "" $args
  [ "$rc" != 0 ] && grep -qF -- "$needle" "$t/err"
  check $? "command line '$args': exit code $rc, message $(head -c 300 "$t/err")"
done

# Start-Sleep really waits (a lower bound only: load can only add).
script sleep <<'EOF'
Start-Sleep -Milliseconds 700
Start-Sleep 1
EOF
start=$(date +%s%N)
ps_run "$t/run" "$t/sleep.ps1"
took=$((($(date +%s%N) - start) / 1000000))
[ "$rc" = 0 ] && [ "$took" -ge 1700 ]
check $? "Start-Sleep: exit code $rc after $took ms (at least 1700 wanted)"

# Every script under payload/ is plain ASCII: PowerShell 5.1 reads a script
# without a byte-order mark in the ANSI code page.
scripts=$(find "$here/../../../payload" -name '*.ps1')
[ "$(echo "$scripts" | grep -c .)" -ge 2 ]
check $? "payload scripts: found only: $scripts"
for f in $scripts; do
  ! LC_ALL=C grep -q '[^ -~[:space:]]' "$f"
  check $? "$f holds a byte outside ASCII: $(LC_ALL=C grep -n '[^ -~[:space:]]' "$f" | head -3)"
done

if [ -n "$payload" ]; then . "$here/ps_payload.sh"; fi

finish "powershell stand-in"
