#!/usr/bin/env bash
# Takes a screenshot of a Windows program's first window under Xvfb (the window alone).
#   tools/screenshot.sh OUT.png PROGRAM.exe [ARGS...]
# The program runs through the build's Wine wrapper in its X11 prefix; set LC_ALL to show
# it in another system locale (the ANSI dialogs follow the system code page), and
# UIEXT2_WINE_DPI to show it at another display scale (96 DPI = 100 %).
set -euo pipefail
out=$1
shift
here=$(cd "$(dirname "$0")/.." && pwd)
wrapper=${UIEXT2_WINE_RUN:-$here/build/windows/wine-run.sh}
[ -x "$wrapper" ] || { echo "build the windows preset first ($wrapper missing)" >&2; exit 1; }

export UIEXT2_WINE_DISPLAY=x11 UIEXT2_SCREENSHOT_OUT=$(realpath -m "$out") UIEXT2_WRAPPER=$wrapper
# Prefix first, outside the capture's time budget.
"$wrapper"
# Large enough for a sheet at 200 %.
xvfb-run -a -s "-screen 0 2400x1800x24" bash -c '
    "$UIEXT2_WRAPPER" "$@" &
    program=$!
    # Wait for the program'"'"'s first named top-level window larger than 1 x 1 (Wine'"'"'s
    # "Default IME" windows are 1 x 1), then give it a moment to paint, and take that window.
    window=
    for _ in $(seq 1 100); do
        window=$(xwininfo -root -children 2>/dev/null |
            awk '"'"'/^ *0x[0-9a-f]+ "[^"]/ && $0 !~ / 1x1\+/ { print $1; exit }'"'"')
        [ -n "$window" ] && break
        sleep 0.2
    done
    sleep 1.5
    /usr/bin/import -window "${window:-root}" "$UIEXT2_SCREENSHOT_OUT"
    kill "$program" 2>/dev/null || true
    WINEPREFIX=$(dirname "$UIEXT2_WRAPPER")/wineprefix-x11 wineserver -k 2>/dev/null || true
' screenshot "$@"
echo "wrote $out"
