#!/usr/bin/env bash
# The benchmark run as its summary tells of it: a benchmark that fails or
# outlives its bound is named at the end, those after it still run, and the
# run fails then; a run where every one ended well says so and succeeds.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

fail() { echo "== bench run test: FAILED: $*" >&2; exit 1; }

summary=$(timeout 60 bash -c 'source "$1/norvale"
  run_bench "first" 5 true
  run_bench "broken" 5 sh -c "exit 3"
  run_bench "slow" 0.2 sleep 30
  run_bench "last" 5 true
  bench_summary || echo "status $?"' _ "$ROOT" 2>&1) || fail "the run ended with $?"
diff -u - <(printf '%s\n' "$summary") >&2 <<'EOF2' || fail "not the summary expected"
== first
== broken
== slow
== last
== BENCHMARKS FAILED
== failed: broken: ended with status 3
== failed: slow: did not end within 0.2 s
status 1
EOF2
summary=$(timeout 60 bash -c 'source "$1/norvale"; run_bench "alone" 5 true; bench_summary' _ "$ROOT" 2>&1) ||
  fail "a run where every benchmark ended well ended with $?"
[ "$summary" = "$(printf '== alone\n== every benchmark ran')" ] || fail "not the summary expected: $summary"
echo "== bench run test: passed" >&2
