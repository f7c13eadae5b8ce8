#!/usr/bin/env bash
# The entry script's install step (`./norvale setup` up to its Wine prefix) against a mirror whose i386 index is
# broken, with stand-ins for the package tools first on PATH: the machine's packages stay as they are.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
STATE=$(mktemp -d "${TMPDIR:-/tmp}/norvale-install-step.XXXXXX") && export STATE
trap 'status=$?; rm -rf "$STATE"; exit $status' EXIT
mkdir "$STATE/bin" && cd "$STATE"
for tool in apt-get dpkg dpkg-query sudo; do ln -s "$ROOT/tests/script/package_tools_stand_in.sh" "bin/$tool"; done

fail() { echo "== install step test: FAILED: $*" >&2; exit 1; }

# `expect_setup CASE ARCHES MISSING LACKS STATUS CALLS ERR`: the step on that machine, with ARCHES the script recorded
# adding, ends with STATUS, CALLS, ERR on standard error, and no i386 architecture nor record of it.
expect_setup() {
  printf '%s' "$2" >arches; tr ' ' '\n' <<<"$3" >missing; echo "$4" >lacks; : >calls
  [ -z "$2" ] || touch record
  local status=0
  PATH=$STATE/bin:$PATH bash -c 'source "$1/norvale"; I386_RECORD=$2/record APT_RETRY_PAUSE=0 POLICY_RC=$2/policy
    runs_32bit_programs() { return 0; }; prepare_prefix() { :; }; cmd_setup' _ "$ROOT" "$STATE" >/dev/null 2>err ||
    status=$?
  [ "$status" = "$5" ] || { cat err >&2; fail "$1: ended with $status, not $5"; }
  diff -u <(printf '%s' "$6") calls >&2 || fail "$1: not the calls expected"
  diff -u <(printf '%s\n' "$7") err >&2 || fail "$1: not the standard error expected"
  [[ ! -s arches && ! -e record ]] || fail "$1: the i386 architecture or its record was left"
}

expect_setup "i386 left in by an earlier run, the mirror cannot give Wine's 32-bit part" i386 "cmake wine32:i386" \
  wine32:i386 0 "dpkg --remove-architecture i386; apt-get update; apt-get install cmake; \
dpkg --add-architecture i386; apt-get update; apt-get update; apt-get update; apt-get install wine32:i386; \
dpkg --remove-architecture i386; apt-get update; " "== installing cmake
== installing wine32:i386, Wine's 32-bit part
== wine32:i386 could not be installed (E: Failed to fetch i386/Packages.xz  Mirror sync?): Wine's 32-bit part \
is left out, and with it the 32-bit tests"
expect_setup "the mirror lacks a 64-bit package" "" "cmake wine32:i386" cmake 1 \
  "apt-get update; apt-get install cmake; " $'== installing cmake\nE: Unable to locate package cmake
== these packages could not be installed: cmake'
echo "== install step test: passed" >&2
