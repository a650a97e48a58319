# What the shell tests share, sourced by each: counted checks and their
# summary, a bounded wait, and paths for Wine.
#   . "$(dirname "$0")/../support/support.sh"   (from a folder of tests/)

h=$(cd "$(dirname "${BASH_SOURCE[0]}")/../harness" && pwd)/wine # the Wine harness
pass=0 fail=0

# check STATUS WHAT: counts a check that held (STATUS 0) or failed, telling a
# failure; with CHECK_SAY_OK set, a check that held too.
check() {
  if [ "$1" = 0 ]; then
    pass=$((pass + 1))
    [ -z "${CHECK_SAY_OK:-}" ] || echo "ok: $2"
  else
    fail=$((fail + 1))
    echo "FAILED: $2"
  fi
}

# finish NAME: the summary line; success only when every check held.
finish() {
  echo "$1: $pass passed, $fail failed"
  [ "$fail" = 0 ]
}

# win PATH: a Unix path as Wine's Z: drive names it.
win() {
  local p=${1//\//\\}
  echo "Z:$p"
}

# wait_for SECONDS COMMAND...: runs COMMAND every tenth of a second until it
# succeeds; fails when it still hasn't after SECONDS.
wait_for() {
  local n=$(($1 * 10))
  shift
  until "$@"; do
    n=$((n - 1))
    [ "$n" -gt 0 ] || return 1
    sleep 0.1
  done
}
