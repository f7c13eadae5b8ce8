#!/usr/bin/env bash
# The test run's jobs as its summary tells of them: a worker whose tests fail
# names them, a job stopped by a step says where, one that outlives its bound
# is ended with every process of its group, and a process a job leaves behind
# holding its output neither holds up the run nor outlives it. ctest is a
# stand-in first on PATH; the jobs' files go under build/steps with names of
# the test's own.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
STATE=$(mktemp -d "${TMPDIR:-/tmp}/norvale-jobs.XXXXXX")
trap 'status=$?; rm -rf "$STATE" "$ROOT"/build/steps/jobs-test-*; exit $status' EXIT
mkdir "$STATE/bin"
printf '#!/bin/sh\nprintf "%%s\\n" "1/3 Test #1: A.B ...   Passed" "The following tests FAILED:" "\t  2 - C.D (Failed)" \\
  "\t 13 - E.F (Timeout)" "Errors while running CTest"\nexit 8\n' >"$STATE/bin/ctest"
chmod +x "$STATE/bin/ctest"

fail() { echo "== jobs test: FAILED: $*" >&2; exit 1; }

PATH=$STATE/bin:$PATH STATE=$STATE timeout 60 bash -c 'source "$1/norvale"
  JOB_MINUTES=0.05
  start_job jobs-test-worker step "its share" worker_tests 1
  start_job jobs-test-broken step "a failing step" false
  start_job jobs-test-slow step "a long wait" sh -c "echo \$\$ >$STATE/sleeper; exec sleep 600"
  start_job jobs-test-leaver step "a process left behind" sh -c "sleep 600 & echo \$! >$STATE/left"
  for name in worker broken slow leaver; do finish_job "jobs-test-$name"; done
  printf "%s\n" "${FAILED_STEPS[@]}" >"$STATE/failed"
  printf "%s\n" "${STEP_TIMES[@]}" | sed "s/^ *[0-9]* s  //; s/^ *//" >"$STATE/times"' _ "$ROOT" >/dev/null 2>&1 ||
  fail "the jobs' run ended with $?"

diff -u - "$STATE/failed" >&2 <<EOF2 || fail "not the failures expected"
windows tests: C.D E.F [jobs-test-worker]
jobs-test-broken stopped with status 1 (its lines: $ROOT/build/steps/jobs-test-broken.log)
jobs-test-slow did not end within 0.05 minutes (its lines: $ROOT/build/steps/jobs-test-slow.log)
EOF2
diff -u - "$STATE/times" >&2 <<EOF2 || fail "not the step times expected"
its share [jobs-test-worker]
a failing step: stopped the job [jobs-test-broken]
a long wait: stopped the job [jobs-test-slow]
a process left behind [jobs-test-leaver]
EOF2
# Ended by a signal, each is given 5 s to go.
for left in sleeper left; do
  for _ in $(seq 50); do kill -0 "$(cat "$STATE/$left")" 2>/dev/null || continue 2; sleep 0.1; done
  fail "a job's process ($left) was still there 5 s after its job"
done
echo "== jobs test: passed" >&2
