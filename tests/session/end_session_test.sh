#!/usr/bin/env bash
# The end of the Windows session as Wine tells it (`wineboot --end-session`)
# just after captured debug strings reached the output file without a flush
# after each line: they must be on disk once the server has ended, and the
# server must end cleanly. (The output's own thread writes a waiting buffer a
# second after it began to wait, so by now the strings may be on disk before
# the session ends; this test holds the end, not the buffer.) A client would
# hear of the end too, so the lines come from debug output capture.
#
#   tests/session/end_session_test.sh <folder of norvale.exe>
#
# Runs in the caller's Wine prefix, display and wineserver; removes the
# settings it made. Exit code 0 when every check passed.
set -euo pipefail

BIN=$(realpath "$1")
WORK=$(mktemp -d "${TMPDIR:-/tmp}/norvale-end-session.XXXXXX")
KEY='HKCU\Software\brantwick\Norvale'
SERVER_PID=

fail() { printf '== end-session test: FAILED: %s\n' "$*" >&2; exit 1; }
setting() { timeout 20 wine reg add "$KEY\\$1" /v "$2" /t REG_SZ /d "$3" /f >/dev/null; }
# The verdict is the checks': a failing cleanup step does not change it.
cleanup() {
  local status=$?
  set +e
  [ -n "$SERVER_PID" ] && kill "$SERVER_PID" 2>/dev/null
  for key in Output Options; do timeout 20 wine reg delete "$KEY\\$key" /f >/dev/null 2>&1; done
  rm -rf "$WORK"
  exit "$status"
}
trap cleanup EXIT

file=$WORK/trace.txt
timeout 20 wine reg delete "$KEY\\Output" /f >/dev/null 2>&1 || true
setting Output ToFile 1
setting Output FlushOutputFile 0
setting Output Filename "$(printf 'Z:%s' "$file" | tr '/' '\\')"
setting Options CaptureDebugOutput 1

cd "$BIN"
wine norvale.exe >"$WORK/server.txt" 2>&1 &
SERVER_PID=$!
sleep 3
timeout 60 wine norvale_debug_peer.exe write es 3 >/dev/null 2>&1 || fail "the debug string writer failed"
sleep 2  # the strings reach the file on a thread of their own
timeout 60 wine wineboot --end-session </dev/null >/dev/null 2>&1 || fail "wineboot --end-session failed"
timeout 20 tail --pid="$SERVER_PID" -f /dev/null || fail "the server did not end within 20 s of the session's end"
status=0
wait "$SERVER_PID" || status=$?
SERVER_PID=
[ "$status" = 0 ] || fail "the server ended with $status"
[ ! -s "$WORK/server.txt" ] || fail "the server said: $(cat "$WORK/server.txt")"
[ "$(cat "$file")" = $'es s0\r\nes s1\r\nes s2\r' ] || fail "the file holds: $(cat -A "$file")"
echo "== end-session test: the buffered lines are on disk" >&2
