#!/usr/bin/env bash
# Takes a screenshot of a Windows program's first window under Xvfb.
#   tools/screenshot.sh OUT.png PROGRAM.exe [ARGS...]
# The program runs through the build's Wine wrapper in its X11 prefix; set LC_ALL to show
# it in another system locale (the ANSI dialogs follow the system code page).
set -euo pipefail
out=$1
shift
here=$(cd "$(dirname "$0")/.." && pwd)
wrapper=${UIEXT2_WINE_RUN:-$here/build/windows/wine-run.sh}
[ -x "$wrapper" ] || { echo "build the windows preset first ($wrapper missing)" >&2; exit 1; }

export UIEXT2_WINE_DISPLAY=x11 UIEXT2_SCREENSHOT_OUT=$(realpath -m "$out") UIEXT2_WRAPPER=$wrapper
# Prefix first, outside the capture's time budget.
"$wrapper"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    "$UIEXT2_WRAPPER" "$@" &
    program=$!
    # Wait for a mapped top-level window, then give it a moment to paint.
    for _ in $(seq 1 100); do
        if xwininfo -root -children 2>/dev/null | grep -q "^ *0x.*\"[^\"]"; then break; fi
        sleep 0.2
    done
    sleep 1.5
    /usr/bin/import -window root "$UIEXT2_SCREENSHOT_OUT"
    kill "$program" 2>/dev/null || true
    WINEPREFIX=$(dirname "$UIEXT2_WRAPPER")/wineprefix-x11 wineserver -k 2>/dev/null || true
' screenshot "$@"
echo "wrote $out"
