#!/usr/bin/env bash
# Redraws the pictures of the README: the tray menu, the main window, the
# pages of Properties and About, a process window and the trace window of a
# running norvale.exe, the same window receiving from three machines, the
# monochrome screen and the splash, under Xvfb with
# a Wine virtual desktop (so that title bars and the task bar are drawn).
# Needs the built Windows tree (./norvale build), xdotool and ImageMagick.
#
#   tools/screenshots.sh
#
# It ends every Wine process of its prefix, so while tests run in
# build/wineprefix, point it at a copy: SCREENSHOT_PREFIX=/tmp/prefix-copy.
# SCREENSHOT_DISPLAY picks the X display it starts (:77 by default),
# SCREENSHOT_BIN the folder of the built programs (build/windows/bin).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BIN=${SCREENSHOT_BIN:-$ROOT/build/windows/bin}
export WINEPREFIX=${SCREENSHOT_PREFIX:-$ROOT/build/wineprefix} WINEARCH=win64 WINEDEBUG=-all
DISPLAY_NUMBER=${SCREENSHOT_DISPLAY:-:77}

Xvfb "$DISPLAY_NUMBER" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
XVFB=$!
trap 'wineserver -k >/dev/null 2>&1 || true; kill $XVFB 2>/dev/null || true' EXIT
export DISPLAY=$DISPLAY_NUMBER
sleep 1
timeout 20 wineserver -k >/dev/null 2>&1 || true
wineserver -p </dev/null >/dev/null 2>&1
timeout 120 wine wineboot </dev/null >/dev/null 2>&1

wine explorer /desktop=norvale,1024x768 "$BIN/norvale.exe" </dev/null >/dev/null 2>&1 &
sleep 4
# The task bar draws the icons at its right end, the first at x 1004-1024.
xdotool mousemove 1013 758 click 3
sleep 1
import -window root -crop 224x128+800+640 +repage "$ROOT/docs/tray-menu.png"
xdotool mousemove 500 300 click 1
sleep 1

# A dialog of the main window, centred on the empty desktop: the desktop's
# plain colour around it is trimmed away.
open_dialog() {
  timeout 60 wine explorer /desktop=norvale,1024x768 "$BIN/norvale_test_helper.exe" command TMainForm "$1" </dev/null >/dev/null 2>&1
  sleep 2
}
capture_dialog() {
  import -window root -crop 640x520+192+100 +repage /tmp/norvale-dialog.png
  /usr/bin/convert-im6.q16 /tmp/norvale-dialog.png -trim +repage "$ROOT/docs/$1"
}
close_dialog() {
  xdotool key Escape
  sleep 1
  rm -f /tmp/norvale-dialog.png
}
# The first two pages; the geometry of the first gives the tab to click for
# the second.
dialog_pages() {
  local command=$1 first=$2 second=$3 box
  open_dialog "$command"
  capture_dialog "$first"
  box=$(/usr/bin/convert-im6.q16 /tmp/norvale-dialog.png -format '%@' info:)
  local left=$((192 + $(echo "$box" | sed 's/.*+\([0-9]*\)+.*/\1/')))
  local top=$((100 + $(echo "$box" | sed 's/.*+//')))
  # The second tab, right of the first, below the caption.
  xdotool mousemove $((left + 80)) $((top + 40)) click 1
  sleep 1
  capture_dialog "$second"
  close_dialog
}
dialog_pages 101 properties-general.png properties-status.png
dialog_pages 103 about-norvale.png about-brantwick.png

# The pages "Options" and "Forwarding", the latter with a server text that
# does not parse, typed in as a user would. Properties opens at the page it
# was left at, "Status": they are one and two Ctrl+Tab further on. Then the
# same way back to the defaults, and the values go, as if never set.
forwarding_settings() {
  local server=$1
  xdotool key alt+f
  sleep 0.5
  xdotool key alt+s
  xdotool type --delay 20 "$server"
  xdotool key alt+a
  sleep 2
}
open_dialog 101
xdotool key ctrl+Tab
sleep 1
capture_dialog properties-options.png
xdotool key ctrl+Tab
sleep 1
forwarding_settings 'tcp//logs.example.com'
capture_dialog properties-forwarding.png
forwarding_settings 'udp://127.0.0.1:514'
close_dialog
OPTIONS_KEY='HKCU\Software\brantwick\Norvale\Options'
timeout 60 wine reg delete "$OPTIONS_KEY" /v ToSyslog /f </dev/null >/dev/null 2>&1 || true
timeout 60 wine reg delete "$OPTIONS_KEY" /v SyslogServer /f </dev/null >/dev/null 2>&1 || true

# On the same desktop, where it can find the main window. It opens as a
# user first sees it, centred: the desktop's plain colour around it (above
# the task bar) is trimmed away.
capture_frame() {
  import -window root -crop 1024x736+0+0 +repage /tmp/norvale-frame.png
  /usr/bin/convert-im6.q16 /tmp/norvale-frame.png -trim +repage "$ROOT/docs/$1"
  rm -f /tmp/norvale-frame.png
}
timeout 60 wine explorer /desktop=norvale,1024x768 "$BIN/norvale_test_helper.exe" command TMainForm 102 </dev/null >/dev/null 2>&1
sleep 2
capture_frame main-window.png

# A process window after a whole debugging run: the test debuggee, run by
# File, Spawn, sends strings, loads a DLL, runs a thread, throws and raises a
# Delphi exception, then writes through a null pointer: its crash shows the
# stack. It reads its steps from a file named like itself, so it
# gets a folder of its own on drive C (a short path for the caption).
DEMO_DIR=$WINEPREFIX/drive_c/norvale-demo
rm -rf "$DEMO_DIR"
mkdir -p "$DEMO_DIR"
cp "$BIN/norvale_test_debuggee.exe" "$DEMO_DIR/demo.exe"
cp "$BIN/norvale_test_debuggee_dll.dll" "$DEMO_DIR/"
printf '%s\r\n' 'string Starting the demo' dll 'thread 7' throw delphi 'string Done' fault >"$DEMO_DIR/demo.steps"
# The helper posts the command, so it returns while the file dialog is up.
timeout 60 wine explorer /desktop=norvale,1024x768 "$BIN/norvale_test_helper.exe" command TMainForm 110 </dev/null >/dev/null 2>&1
sleep 2
# The dialog opens with the keyboard focus in its file name box.
xdotool type --delay 20 "$(winepath -w "$DEMO_DIR/demo.exe" 2>/dev/null)"
xdotool key Return
# The windows live inside the one X window of the virtual desktop, out of
# xdotool's sight; the debuggee's progress file tells when its last string
# went out, and the exit follows at once.
for _ in $(seq 100); do
  grep -q '^string Done' "$DEMO_DIR/demo.progress" 2>/dev/null && break
  sleep 0.2
done
sleep 2
# The frame keeps its placement when it hides, and the main window's picture
# above needs the first one: keep it, to put it back once the frame is hidden.
PLACEMENT_KEY='HKCU\Software\brantwick\Norvale\DebugWindow'
PLACEMENT_FILE='C:\norvale-demo\placement.reg'
HAD_PLACEMENT=0
if timeout 60 wine reg export "$PLACEMENT_KEY" "$PLACEMENT_FILE" /y </dev/null >/dev/null 2>&1; then HAD_PLACEMENT=1; fi
# The process window fills the frame, its list scrolled to the run's end:
# the crash with its stack and the exit.
timeout 60 wine explorer /desktop=norvale,1024x768 "$BIN/norvale_test_helper.exe" maximize TProcessForm </dev/null >/dev/null 2>&1
sleep 2
capture_frame process-window.png
timeout 60 wine explorer /desktop=norvale,1024x768 "$BIN/norvale_test_helper.exe" command TMainForm 104 </dev/null >/dev/null 2>&1
sleep 2
# Close asks first while a client's objects live (the debugging run's); the
# next pictures need a server of their own, so whatever is left ends here,
# with the wineserver, which would keep a killed server's class registered.
timeout 20 wineserver -k >/dev/null 2>&1 || true
timeout 20 wineserver -w >/dev/null 2>&1 || true
wineserver -p </dev/null >/dev/null 2>&1
timeout 120 wine wineboot </dev/null >/dev/null 2>&1
timeout 60 wine reg delete "$PLACEMENT_KEY" /f </dev/null >/dev/null 2>&1 || true
if [ "$HAD_PLACEMENT" = 1 ]; then timeout 60 wine reg import "$PLACEMENT_FILE" </dev/null >/dev/null 2>&1; fi

# The monochrome screen: the viewer first, then a server writing to it.
KEY='HKCU\Software\brantwick\Norvale\Output'
timeout 60 wine reg add "$KEY" /v ToMono /t REG_SZ /d 1 /f >/dev/null 2>&1
for flag in IncludeDateTime IncludeProject IncludeClass IncludeThread; do
  timeout 60 wine reg add "$KEY" /v "$flag" /t REG_SZ /d 1 /f >/dev/null 2>&1
done
# The same server's trace window is pictured after it, as first opened: no
# placement or widths kept.
FRAME_KEY='HKCU\Software\brantwick\Norvale\DebugWindow'
TRACE_KEY='HKCU\Software\brantwick\Norvale\Options\TraceWindow'
timeout 60 wine reg delete "$FRAME_KEY" /f </dev/null >/dev/null 2>&1 || true
timeout 60 wine reg delete "$TRACE_KEY" /f </dev/null >/dev/null 2>&1 || true
timeout 60 wine reg delete 'HKCU\Software\brantwick\Norvale\Options' /v TraceColumnWidths /f </dev/null >/dev/null 2>&1 || true
wine explorer /desktop=norvale,1024x768 "$BIN/monoscreen.exe" </dev/null >/dev/null 2>&1 &
sleep 3
wine explorer /desktop=norvale,1024x768 "$BIN/norvale.exe" </dev/null >/dev/null 2>&1 &
sleep 3
# A client that came before the class is offered would start a server of
# its own, whose window is not the one pictured.
timeout 90 wine "$BIN/norvale_test_helper.exe" wait-serving 60 </dev/null >/dev/null 2>&1
timeout 120 wine cscript //nologo "$(printf 'Z:%s' "$ROOT/examples/demo.vbs" | tr '/' '\\')" </dev/null >/dev/null 2>&1
sleep 1
# The first window of the desktop opens at its top left corner.
import -window root -crop 806x500+0+0 +repage "$ROOT/docs/monoscreen.png"
# The viewer goes, so that the trace window is pictured alone.
timeout 60 wine taskkill /f /im monoscreen.exe </dev/null >/dev/null 2>&1 || true
sleep 1
helper() { timeout 60 wine explorer /desktop=norvale,1024x768 "$BIN/norvale_test_helper.exe" "$@" </dev/null >/dev/null 2>&1; }
helper command TMainForm 102
sleep 2
capture_frame trace-window-first-open.png
# A column term in Show, two rows found and marked, and "Δ ms" switched on
# (the header menu's entry 109, as the menu sends it).
helper type 0 'class:tinvoice'
helper type 3 '/^-> /'
helper command TTraceForm 7
helper command TTraceForm 9
helper type 3 'invoice bytes'
helper command TTraceForm 7
helper command TTraceForm 9
helper command TTraceForm 109
sleep 2
capture_frame trace-window-tools.png
# Three machines in one trace window: a server of its own receives syslog on
# 127.0.0.1, and this script plays the machines, each message octet counted
# over TCP: Norvale forwarding from WS-12 with every field, a build agent's
# program in RFC 5424 and a test machine's in the BSD form.
timeout 20 wineserver -k >/dev/null 2>&1 || true
wineserver -p </dev/null >/dev/null 2>&1
RECEIVE_PORT=15514
timeout 60 wine reg add "$OPTIONS_KEY" /v ListenSyslog /t REG_SZ /d 1 /f >/dev/null 2>&1
timeout 60 wine reg add "$OPTIONS_KEY" /v ListenAddress /t REG_SZ /d "tcp://127.0.0.1:$RECEIVE_PORT" /f >/dev/null 2>&1
wine explorer /desktop=norvale,1024x768 "$BIN/norvale.exe" </dev/null >/dev/null 2>&1 &
for _ in $(seq 100); do
  (exec 3<>"/dev/tcp/127.0.0.1/$RECEIVE_PORT") 2>/dev/null && break
  sleep 0.2
done
send_syslog() {
  local frames="" message
  for message in "$@"; do frames+="$(LC_ALL=C; echo ${#message}) $message"; done
  exec 3<>"/dev/tcp/127.0.0.1/$RECEIVE_PORT"
  printf '%s' "$frames" >&3
  exec 3>&-
}
BOM=$'\xef\xbb\xbf'
# Times of now, in UTC: the BSD form carries none that counts, so its rows
# show their arrival, and the rows of all three machines read in order.
now() { date -u +%Y-%m-%dT%H:%M:%S.%3NZ; }
norvale_from_ws12() {
  echo "<$1>1 $(now) WS-12 Norvale 4120 $2 [norvale@32473 project=\"Billing\"" \
    "module=\"Invoices\" class=\"TInvoice\" thread=\"00000a1c\" code=\"0000000$3\"] $BOM$4"
}
send_syslog "$(norvale_from_ws12 15 enter 0 '-> PostInvoice')" \
  "$(norvale_from_ws12 14 msg 0 'Invoice 4711 posted, 3 lines, 1,280.00 EUR')" \
  "$(norvale_from_ws12 15 exit 0 '<- PostInvoice')"
send_syslog "<13>1 $(now) build-agent-7 msbuild 8812 - - Build started: Billing.sln (Release|x64)" \
  "<12>1 $(now) build-agent-7 msbuild 8812 - - warning CS0618: TLegacyTax is obsolete"
send_syslog "<14>$(LC_ALL=C date '+%b %e %H:%M:%S') test-vm-2 nunit[2231]: 214 tests passed, 0 failed, 3 skipped" \
  "<11>$(LC_ALL=C date '+%b %e %H:%M:%S') test-vm-2 smoke[2240]: Login page did not answer within 5 s"
sleep 2
timeout 60 wine explorer /desktop=norvale,1024x768 "$BIN/norvale_test_helper.exe" command TMainForm 102 </dev/null >/dev/null 2>&1
sleep 2
import -window root -crop 1004x550+10+10 +repage "$ROOT/docs/trace-window-machines.png"
timeout 60 wine reg delete "$OPTIONS_KEY" /v ListenSyslog /f </dev/null >/dev/null 2>&1 || true
timeout 60 wine reg delete "$OPTIONS_KEY" /v ListenAddress /f </dev/null >/dev/null 2>&1 || true
timeout 60 wine reg delete "$FRAME_KEY" /f </dev/null >/dev/null 2>&1 || true
timeout 60 wine reg delete "$TRACE_KEY" /f </dev/null >/dev/null 2>&1 || true
rm -rf "$DEMO_DIR"

# The splash, as the tests show it: centred on the 1024x768 desktop for five
# seconds.
timeout 20 wineserver -k >/dev/null 2>&1 || true
wineserver -p </dev/null >/dev/null 2>&1
timeout 60 wine explorer /desktop=norvale,1024x768 "$BIN/norvale_com_tests.exe" \
  --gtest_filter=Splash.StaysFiveSecondsThenItsOwnTickClosesIt </dev/null >/dev/null 2>&1 &
sleep 2.5
import -window root -crop 461x163+281+302 +repage "$ROOT/docs/splash.png"
wait $! || { echo "the splash test failed or did not end within 60 s" >&2; exit 1; }
echo "wrote docs/about-norvale.png, docs/about-brantwick.png, docs/splash.png, docs/properties-general.png,"
echo "docs/properties-status.png, docs/properties-options.png, docs/properties-forwarding.png, and"
echo "wrote docs/tray-menu.png, docs/main-window.png, docs/process-window.png, docs/monoscreen.png and"
echo "docs/trace-window-first-open.png, docs/trace-window-tools.png and docs/trace-window-machines.png"
