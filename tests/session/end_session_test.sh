#!/usr/bin/env bash
# The end of the Windows session as Wine tells it (`wineboot --end-session`:
# WM_QUERYENDSESSION and WM_ENDSESSION to every window, then the end of the
# processes), with lines still waiting in the output file's buffer: they must
# be on disk when the server has ended. Captured debug strings carry the lines,
# since a client process would hear of the session's end too.
#
#   tests/session/end_session_test.sh <folder of norvale.exe>
#
# Runs in the caller's Wine prefix, display and wineserver, which it leaves
# running; removes the settings it made. Exit code 0 when every check passed.
set -euo pipefail

BIN=$(realpath "$1")
WORK=$(mktemp -d "${TMPDIR:-/tmp}/norvale-end-session.XXXXXX")
OUTPUT='HKCU\Software\brantwick\Norvale\Output'
OPTIONS='HKCU\Software\brantwick\Norvale\Options'
SERVER_PID=

log() { printf '== end-session test: %s\n' "$*" >&2; }
fail() {
  log "FAILED: $*"
  exit 1
}
cleanup() {
  set +e
  [ -n "$SERVER_PID" ] && kill "$SERVER_PID" 2>/dev/null
  timeout 20 wine reg delete "$OUTPUT" /f >/dev/null 2>&1
  timeout 20 wine reg delete "$OPTIONS" /f >/dev/null 2>&1
  rm -rf "$WORK"
}
trap cleanup EXIT

file=$WORK/trace.txt
timeout 20 wine reg delete "$OUTPUT" /f >/dev/null 2>&1 || true
for value in "ToFile 1" "FlushOutputFile 0" "Filename $(printf 'Z:%s' "$file" | tr '/' '\\')"; do
  timeout 20 wine reg add "$OUTPUT" /v "${value%% *}" /t REG_SZ /d "${value#* }" /f >/dev/null
done
timeout 20 wine reg add "$OPTIONS" /v CaptureDebugOutput /t REG_SZ /d 1 /f >/dev/null

cd "$BIN"
wine norvale.exe >"$WORK/server.txt" 2>&1 &
SERVER_PID=$!
sleep 3
timeout 60 wine norvale_debug_peer.exe write es 3 >"$WORK/peer.txt" 2>&1 || fail "the debug string writer failed"
# The strings go from the capture queue to the file on a thread of their own.
sleep 2
[ ! -s "$file" ] || fail "the lines did not wait in the buffer: $(cat "$file")"
timeout 60 wine wineboot --end-session </dev/null >/dev/null 2>&1 || fail "wineboot --end-session failed"
status=0
timeout 20 tail --pid="$SERVER_PID" -f /dev/null || fail "the server did not end within 20 s of the session's end"
wait "$SERVER_PID" || status=$?
SERVER_PID=
[ "$status" = 0 ] || fail "the server ended with $status"
[ ! -s "$WORK/server.txt" ] || fail "the server said: $(cat "$WORK/server.txt")"
expected=$'es s0\r\nes s1\r\nes s2\r'
[ "$(cat "$file")" = "$expected" ] || fail "the file holds: $(cat -A "$file")"
log "the buffered lines are on disk"
