#!/usr/bin/env bash
# The entry script as a newcomer meets it: its usage for help and for a
# command line it does not know, and `run --stop-after-demo` started from
# another folder, in a Wine prefix of the test's own, showing the demo's
# lines after waiting for the server.
#
#   tests/script/entry_script_test.sh
#
# Needs the Windows tree built and a display. Exit code 0 when every check
# passed.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
WORK=$(mktemp -d "${TMPDIR:-/tmp}/norvale-entry-script.XXXXXX")
# The test's verdict is its own: a cleanup step that fails (under `set -e`, a
# trap's failure would become the exit code) changes nothing. The wineserver
# writes the prefix's registry as it ends, so it is waited for before the
# folder goes.
cleanup() {
  local status=$?
  set +e
  WINEPREFIX=$WORK/prefix timeout 20 wineserver -k >/dev/null 2>&1
  WINEPREFIX=$WORK/prefix timeout 20 wineserver -w >/dev/null 2>&1
  rm -rf "$WORK"
  exit "$status"
}
trap cleanup EXIT

fail() { printf '== entry script test: FAILED: %s\n' "$*" >&2; exit 1; }

# `expect_run CODE ARGS...`: runs the script from $WORK; its output lands in
# $WORK/out and $WORK/err.
expect_run() {
  local code=$1 status=0
  shift
  (cd "$WORK" && timeout 900 "$ROOT/norvale" "$@") >"$WORK/out" 2>"$WORK/err" || status=$?
  [ "$status" = "$code" ] || { cat "$WORK/err" >&2; fail "norvale $* ended with $status, not $code"; }
}

for help in help --help "run --help"; do
  # shellcheck disable=SC2086
  expect_run 0 $help
  for command in setup build test run bench package help; do
    grep -q "^  ./norvale $command " "$WORK/out" || fail "norvale $help printed no usage of $command"
  done
done
expect_run 2 --bogus
grep -qx 'norvale: unknown command: --bogus' "$WORK/err" || fail "norvale --bogus did not name the command"
grep -q '^  ./norvale test ' "$WORK/err" || fail "norvale --bogus printed no usage"
expect_run 2 run --now
grep -qx 'norvale: unknown switch for run: --now' "$WORK/err" || fail "norvale run --now did not name the switch"

NORVALE_RUN_PREFIX=$WORK/prefix expect_run 0 run --stop-after-demo
grep -q 'waiting (up to 60 s) until norvale.exe offers its class' "$WORK/err" || fail "run did not wait for the class"
grep -q 'the output file C:\\norvale-demo.txt now holds:' "$WORK/err" || fail "run did not show the output file"
grep -q 'Hello from VBScript' "$WORK/out" || { cat "$WORK/out" "$WORK/err" >&2; fail "run showed no demo line"; }
# Its own reports only: every line on standard error is one of the script's.
unexpected=$(grep -v '^== ' "$WORK/err" || true)
[ -z "$unexpected" ] || fail "unexpected on standard error: $unexpected"
printf '== entry script test: passed\n' >&2
