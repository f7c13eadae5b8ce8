#!/usr/bin/env bash
# The Windows package as a new user meets it: unpacks the zip, checks what it
# holds, and in a fresh Wine prefix of its own registers bin\norvale.exe from
# the unpacked folder by starting it as a double-click does, turns the file
# output on with the commands INSTALL.txt gives, runs examples\demo.vbs and
# compares the file with the lines INSTALL.txt promises; follows the README's
# quick start; then removes the registration and checks that a client can no
# longer reach the server. The demo runs in Wine's 32-bit script host too,
# where there is one.
#
#   tests/package/run_package_test.sh dist/norvale-<version>-win64.zip
#
# Runs on its own display and its own wineserver, and removes everything it
# made. Exit code 0 when every check passed.
set -euo pipefail

[ $# -eq 1 ] && [ -f "$1" ] || { echo "usage: $0 <norvale-<version>-win64.zip>" >&2; exit 2; }
ZIP=$(realpath "$1")
STARTED=$(date +%s)

WORK=$(mktemp -d "${TMPDIR:-/tmp}/norvale-package-test.XXXXXX")
LOGS=$WORK/logs
mkdir -p "$LOGS"
export WINEPREFIX=$WORK/prefix
export WINEARCH=win64
export WINEDEBUG=-all

XVFB_PID=
WINESERVER_PID=

log() { printf '== package test: %s\n' "$*" >&2; }
fail() {
  log "FAILED: $*"
  exit 1
}
wine_path() { printf 'Z:%s' "$1" | tr '/' '\\'; }

# Whatever ended the script, a failed step or `set -e`, its status decides
# whether the work folder stays for a look.
cleanup() {
  local status=$?
  set +e
  cd /
  if [ -d "$WINEPREFIX" ]; then
    timeout 20 wineserver -k >/dev/null 2>&1
    timeout 20 wineserver -w >/dev/null 2>&1
  fi
  [ -n "$WINESERVER_PID" ] && kill "$WINESERVER_PID" 2>/dev/null && wait "$WINESERVER_PID" 2>/dev/null
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
  if [ "$status" != 0 ] && [ -n "${NORVALE_KEEP_FAILED:-}" ]; then
    log "kept $WORK for a look"
  else
    rm -rf "$WORK"
  fi
}
trap cleanup EXIT

# Runs a Windows program with a bound, its output in files named after the
# step; fails when it does not end, ends with another code than expected, or
# says anything on standard error.
run_step() {
  local step=$1 seconds=$2 expected=$3
  shift 3
  local code=0
  timeout "$seconds" "$@" </dev/null >"$LOGS/$step.out" 2>"$LOGS/$step.err" || code=$?
  [ "$code" != 124 ] || fail "$step did not end within $seconds s"
  [ "$code" = "$expected" ] || { cat "$LOGS/$step.out" "$LOGS/$step.err" >&2; fail "$step ended with $code, not $expected"; }
  [ ! -s "$LOGS/$step.err" ] || { cat "$LOGS/$step.err" >&2; fail "$step wrote to standard error"; }
}

# Whether a process of this test's folder runs: the server's command line
# names it. Read from /proc, since a base system may lack pgrep.
folder_process_runs() {
  local cmdline text
  for cmdline in /proc/[0-9]*/cmdline; do
    text=$(tr '\0' ' ' 2>/dev/null <"$cmdline") || continue
    [[ "$text" == *"$WORK"/* || "$text" == *"$(wine_path "$WORK")"\\* ]] && return 0
  done
  return 1
}

# An activation while the previous server is still ending fails: waits for
# the server to be gone.
wait_server_gone() {
  for _ in $(seq 50); do folder_process_runs || return 0; sleep 0.2; done
  fail "$1 server still runs 10 s after its last line"
}

# --- the zip's contents -------------------------------------------------------

log "unpacking $(basename "$ZIP")"
mkdir -p "$WORK/unpacked"
(cd "$WORK/unpacked" && cmake -E tar xf "$ZIP") || fail "the zip does not unpack"
NAME=$(basename "$ZIP" .zip)
PACKAGE=$WORK/unpacked/$NAME
[ -d "$PACKAGE" ] || fail "the zip holds no folder $NAME"
for file in INSTALL.txt README.md bin/norvale.exe bin/norvale-agent.exe bin/monoscreen.exe \
            include/norvale/Norvale.idl include/norvale/Norvale.tlb include/norvale/Norvale_h.h \
            include/norvale/Norvale_i.c include/norvale/tracer.h examples/demo.vbs examples/demo.js examples/cpp_client.cpp \
            examples/tracer.cpp examples/hello.vbs examples/demo.ps1 docs/clients.md docs/settings.md docs/performance.md; do
  [ -s "$PACKAGE/$file" ] || fail "the package has no $file"
done
# The README's client is the example, word for word.
diff <(tr -d '\r' <"$PACKAGE/README.md" | sed -n '/^```vb$/,/^```$/p' | sed '1d;$d') \
  <(tr -d '\r' <"$PACKAGE/examples/hello.vbs") >&2 || fail "the README's VBScript client is not examples\\hello.vbs"
version=${NAME#norvale-}
version=${version%-win64}
grep -q "^Norvale $version for 64-bit Windows" "$PACKAGE/INSTALL.txt" || fail "INSTALL.txt does not name version $version"

# Every picture a document shows is in the package beside it.
while IFS= read -r document; do
  while IFS= read -r picture; do
    [ -f "$(dirname "$document")/$picture" ] || fail "${document#"$PACKAGE"/} shows $picture, which the package lacks"
  done < <(grep -o '!\[[^]]*\]([^)]*)' "$document" | sed 's/^.*](\([^) ]*\).*$/\1/' | grep -v '^[a-z]*://' || true)
done < <(find "$PACKAGE" -name '*.md')

# No path of the machine that built the package: its repository, its build
# tree, Wine's view of them, temporary folders. (Folders relative to a
# checkout, such as build/windows in the README, are no machine's paths.)
REPOSITORY=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
leaks=$(grep -rIl -F -e "$REPOSITORY" -e '/work/' -e '/tmp/' -e 'Z:\' -e 'Z:/' "$PACKAGE" || true)
[ -z "$leaks" ] || fail "build-machine paths in: ${leaks//$PACKAGE\//}"

# --- a fresh prefix, a display and a wineserver of the test's own -----------

log "starting a display"
fdfile=$WORK/display
Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp 9>"$fdfile" >"$LOGS/xvfb.log" 2>&1 &
XVFB_PID=$!
for _ in $(seq 100); do [ -s "$fdfile" ] && break; sleep 0.1; done
[ -s "$fdfile" ] || fail "Xvfb gave no display number within 10 s"
export DISPLAY=":$(head -n1 "$fdfile")"

log "creating a fresh Wine prefix"
timeout 300 wineboot -i </dev/null >"$LOGS/wineboot.log" 2>&1 || fail "wineboot -i did not finish within 300 s"
timeout 120 wineserver -w || fail "the prefix's first wineserver did not end within 120 s"
# A persistent wineserver and Wine's services, detached from this script's
# output files, so that every later step ends when its own program does.
wineserver -f -p </dev/null >/dev/null 2>&1 &
WINESERVER_PID=$!
timeout 120 wine wineboot </dev/null >/dev/null 2>&1 || fail "Wine's services did not start within 120 s"
# A crash reports and ends instead of waiting in a dialog.
run_step crash-dialog-off 20 0 wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f

# The programs need no DLL beside them: each one they import is the system's.
for program in norvale monoscreen; do
  while IFS= read -r dll; do
    [ -n "$(find "$WINEPREFIX/drive_c/windows/system32" -maxdepth 1 -iname "$dll")" ] ||
      fail "bin\\$program.exe imports $dll, which is no DLL of the system"
  done < <(x86_64-w64-mingw32-objdump -p "$PACKAGE/bin/$program.exe" | sed -n 's/^\tDLL Name: //p')
done

# --- registering from the unpacked folder -----------------------------------

# As the README and INSTALL.txt say: a double-click, that is a start without
# a switch, registers the program and keeps it serving until Close in the
# tray's menu. (/RegServer is the program's own test.) The build tree's
# helper waits for the class and chooses Close.
HELPER=$REPOSITORY/build/windows/bin/norvale_test_helper.exe
[ -f "$HELPER" ] || fail "no $HELPER: ./norvale build makes it"
log "starting bin\\norvale.exe as a double-click does"
exe=$(wine_path "$PACKAGE/bin/norvale.exe")
wine "$PACKAGE/bin/norvale.exe" </dev/null >"$LOGS/double-click.out" 2>"$LOGS/double-click.err" &
server=$!
run_step wait-serving 90 0 wine "$HELPER" wait-serving 60
run_step query-progid 20 0 wine reg query 'HKCR\Norvale.Norvale\Clsid' /ve /reg:64
clsid=$(grep -o '{[0-9A-Fa-f-]*}' "$LOGS/query-progid.out" | head -n1)
[ -n "$clsid" ] || fail "Norvale.Norvale names no class: $(cat "$LOGS/query-progid.out")"
run_step query-server 20 0 wine reg query "HKCR\\CLSID\\$clsid\\LocalServer32" /ve /reg:64
grep -qiF "$exe" "$LOGS/query-server.out" ||
  fail "the class is not served by the unpacked $exe: $(tr -d '\r' <"$LOGS/query-server.out")"
log "choosing Close in the tray's menu"
run_step close 20 0 wine "$HELPER" command TMainForm 104
timeout 30 tail --pid="$server" -f /dev/null || fail "norvale.exe still runs 30 s after Close"
code=0
wait "$server" || code=$?
[ "$code" = 0 ] || fail "norvale.exe ended with $code after Close"
[ ! -s "$LOGS/double-click.err" ] || fail "norvale.exe wrote to standard error: $(cat "$LOGS/double-click.err")"

# --- the VBScript example, with the settings INSTALL.txt gives --------------

# The `reg add` lines of INSTALL.txt, run as a user would type them.
tr -d '\r' <"$PACKAGE/INSTALL.txt" | sed -n 's/^ *\(reg add .*\)$/\1/p' >"$WORK/settings.cmd"
[ "$(wc -l <"$WORK/settings.cmd")" -ge 1 ] || fail "INSTALL.txt gives no reg add line"
sed -i 's/$/\r/' "$WORK/settings.cmd"
log "turning the file output on with INSTALL.txt's $(wc -l <"$WORK/settings.cmd") reg add lines"
run_step settings 60 0 wine cmd /c "$(wine_path "$WORK/settings.cmd")"

# %USERPROFILE% in a Wine prefix: C:\users\<the Linux user>.
output=$WINEPREFIX/drive_c/users/$(id -un)/norvale-demo.txt
rm -f "$output"

log "running cscript //nologo examples\\demo.vbs"
# From the package's folder, as INSTALL.txt says; COM activation starts the server.
cd "$PACKAGE"
run_step demo 120 0 wine cscript //nologo 'examples\demo.vbs'
[ ! -s "$LOGS/demo.out" ] || fail "the demo printed: $(cat "$LOGS/demo.out")"

# The server started for the demo ends once the script has released it, and
# says so as its last line.
for _ in $(seq 150); do
  [ -f "$output" ] && grep -q 'Norvale Shutting Down' "$output" && break
  sleep 0.2
done
[ -f "$output" ] || fail "no $output within 30 s of the demo's end"
grep -q 'Norvale Shutting Down' "$output" || fail "the server did not end within 30 s of the demo's end"

# The lines INSTALL.txt shows; both are in the Western 8-bit code page.
iconv -f CP1252 -t UTF-8 "$PACKAGE/INSTALL.txt" | tr -d '\r' | sed -n '/norvale-demo.txt in your user/,/^(the last line/p' |
  sed -n 's/^    //p' >"$WORK/expected.txt"
[ -s "$WORK/expected.txt" ] || fail "INSTALL.txt shows no lines of the demo"
iconv -f CP1252 -t UTF-8 "$output" | tr -d '\r' >"$WORK/actual.txt"
diff -u "$WORK/expected.txt" "$WORK/actual.txt" >&2 || fail "the file is not what INSTALL.txt shows"

# The JScript example, into the same file.
wait_server_gone "the demo's"
log "running cscript //nologo examples\\demo.js"
run_step demo-js 120 0 wine cscript //nologo 'examples\demo.js'
for _ in $(seq 150); do [ "$(grep -c 'Norvale Shutting Down' "$output")" = 2 ] && break; sleep 0.2; done
grep -q 'Hello from JScript' "$output" || fail "the JScript example's message is not in the file"

if [ -f "$WINEPREFIX/drive_c/windows/syswow64/cscript.exe" ]; then
  wait_server_gone "the demo's"
  rm -f "$output"
  run_step demo-32 120 0 wine 'C:\windows\syswow64\cscript.exe' //nologo 'examples\demo.vbs'
  for _ in $(seq 150); do grep -qs 'Norvale Shutting Down' "$output" && break; sleep 0.2; done
  iconv -f CP1252 -t UTF-8 "$output" | tr -d '\r' | diff -u "$WORK/expected.txt" - >&2 ||
    fail "the file of the demo in the 32-bit host is not what INSTALL.txt shows"
else
  log "no 32-bit script host in this Wine (syswow64\\cscript.exe): the demo ran in the 64-bit one only"
fi

# --- a compiled client built against the package alone -----------------------

wait_server_gone "the demo's"

# Each compiled example, built against the package alone with the README's
# own mingw-w64 line (the README gives an MSVC line too, not run here), ends
# with its "Posting done" in the file (the tracer's after its thousand
# invoice lines).
readme=$(tr -d '\r' <"$PACKAGE/README.md")
for example in cpp_client tracer; do
  line=$(printf '%s\n' "$readme" | sed -n "s|^    \(x86_64-w64-mingw32-g++-posix .* examples/$example\.cpp .*\)$|\1|p")
  [ "$(printf '%s' "$line" | grep -c .)" = 1 ] || fail "the README gives not one mingw-w64 line for examples/$example.cpp"
  printf '%s\n' "$readme" | grep -q "^    cl /std:c++17 .* examples\\\\$example\.cpp " ||
    fail "the README gives no MSVC line for examples\\$example.cpp"
  log "building examples\\$example.cpp in the package's folder as the README says, and running it"
  run_step "build-$example" 120 0 bash -c 'cd "$1" && eval "$2"' build "$PACKAGE" "$line"
  rm -f "$output"
  run_step "$example" 60 0 wine "$PACKAGE/$example.exe"
  [ ! -s "$LOGS/$example.out" ] || fail "the $example example printed: $(cat "$LOGS/$example.out")"
  for _ in $(seq 150); do grep -qs 'Norvale Shutting Down' "$output" && break; sleep 0.2; done
  grep -q 'Posting done' "$output" || fail "the $example example's last message is not in the file"
  grep -q 'Norvale Shutting Down' "$output" || fail "the server did not end within 30 s of the $example example's end"
  wait_server_gone "the $example example's"
done
grep -c 'Invoice line' "$output" | grep -qx 1000 || fail "the tracer example's 1000 invoice lines are not all in the file"

# The win32-threads compiler (Debian's plain x86_64-w64-mingw32-g++) has no
# threads in its library: the tracer's header says so first, in its own words.
if command -v x86_64-w64-mingw32-g++-win32 >/dev/null; then
  log "compiling examples\\tracer.cpp with the win32-threads compiler"
  (cd "$PACKAGE" && ! x86_64-w64-mingw32-g++-win32 -std=c++17 -fsyntax-only -I include examples/tracer.cpp) \
    >"$LOGS/win32-threads.out" 2>&1 || fail "the win32-threads compiler built examples\\tracer.cpp"
  grep -m1 'error' "$LOGS/win32-threads.out" | grep -q '#error "norvale/tracer.h needs a C++ standard library with threads.*x86_64-w64-mingw32-g++-posix' ||
    fail "the win32-threads compiler's first error is not the header's: $(grep -m1 error "$LOGS/win32-threads.out")"
fi

# --- the README's quick start, as a user types it ------------------------------

quick_start=$(tr -d '\r' <"$PACKAGE/README.md" | sed -n '/^## Get started on Windows/,/^## A client/p')
printf '%s\n' "$quick_start" | sed -n 's/^ *\(reg add .*\)$/\1\r/p' >"$WORK/quick-start.cmd"
[ "$(wc -l <"$WORK/quick-start.cmd")" -ge 1 ] || fail "the README's quick start gives no reg add line"
example=$(printf '%s\n' "$quick_start" | sed -n 's/^ *cscript \/\/nologo \(examples\\[a-z_]*\.vbs\)$/\1/p')
[ -n "$example" ] || fail "the README's quick start runs no example"
log "the README's quick start: its $(wc -l <"$WORK/quick-start.cmd") reg add lines, then $example"
run_step quick-start-settings 60 0 wine cmd /c "$(wine_path "$WORK/quick-start.cmd")"
quick_output=$WINEPREFIX/drive_c/users/$(id -un)/norvale.txt
run_step quick-start-example 120 0 wine cscript //nologo "$example"
[ ! -s "$LOGS/quick-start-example.out" ] || fail "the README's example printed: $(cat "$LOGS/quick-start-example.out")"
for _ in $(seq 150); do grep -qs 'Norvale Shutting Down' "$quick_output" && break; sleep 0.2; done
grep -q 'Hello from VBScript' "$quick_output" || fail "the README's example did not reach %USERPROFILE%\\norvale.txt"
wait_server_gone "the README example's"

# --- removing the registration -------------------------------------------------

log "removing the registration with /UnregServer"
run_step unregister 60 0 wine "$PACKAGE/bin/norvale.exe" /UnregServer
run_step query-removed 20 1 wine reg query 'HKCR\Norvale.Norvale' /reg:64
run_step demo-unregistered 60 1 wine cscript //nologo 'examples\demo.vbs'
grep -q '^cannot reach Norvale' "$LOGS/demo-unregistered.out" ||
  fail "the demo after /UnregServer said: $(cat "$LOGS/demo-unregistered.out")"

log "passed in $(($(date +%s) - STARTED)) s"
