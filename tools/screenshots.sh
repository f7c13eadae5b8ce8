#!/usr/bin/env bash
# Redraws the pictures of the README: the tray menu and the main window of a
# running norvale.exe, under Xvfb with a Wine virtual desktop (so that title
# bars and the task bar are drawn). Needs the built Windows tree
# (./norvale build), xdotool and ImageMagick.
#
#   tools/screenshots.sh
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BIN=$ROOT/build/windows/bin
export WINEPREFIX=$ROOT/build/wineprefix WINEARCH=win64 WINEDEBUG=-all
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
# On the same desktop, where it can find the main window.
wine explorer /desktop=norvale,1024x768 "$BIN/norvale_test_helper.exe" command TMainForm 102 </dev/null >/dev/null 2>&1
sleep 2
import -window root -crop 560x420+230+170 +repage "$ROOT/docs/main-window.png"
wine explorer /desktop=norvale,1024x768 "$BIN/norvale_test_helper.exe" command TMainForm 104 </dev/null >/dev/null 2>&1
sleep 2

# The monochrome screen: the viewer first, then a server writing to it.
KEY='HKCU\Software\brantwick\Norvale\Output'
wine reg add "$KEY" /v ToMono /t REG_SZ /d 1 /f >/dev/null 2>&1
for flag in IncludeDateTime IncludeProject IncludeClass IncludeThread; do
  wine reg add "$KEY" /v "$flag" /t REG_SZ /d 1 /f >/dev/null 2>&1
done
wine explorer /desktop=norvale,1024x768 "$BIN/monoscreen.exe" </dev/null >/dev/null 2>&1 &
sleep 3
wine explorer /desktop=norvale,1024x768 "$BIN/norvale.exe" </dev/null >/dev/null 2>&1 &
sleep 3
wine cscript //nologo "$(printf 'Z:%s' "$ROOT/examples/demo.vbs" | tr '/' '\\')" </dev/null >/dev/null 2>&1
sleep 1
# The first window of the desktop opens at its top left corner.
import -window root -crop 806x500+0+0 +repage "$ROOT/docs/monoscreen.png"
echo "wrote docs/tray-menu.png, docs/main-window.png and docs/monoscreen.png"
