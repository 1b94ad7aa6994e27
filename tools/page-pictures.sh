#!/usr/bin/env bash
# Pictures of the scanner's property pages, as the shell hosts them, in the eight languages:
#   docs/pages/<suffix>-settings.png and docs/pages/<suffix>-about.png        at 100 %
#   docs/pages/<suffix>-<page>-150.png and -200.png, English and Japanese,    at 150 and 200 %
# Each language runs under its own system locale, as on a machine whose language follows its
# system locale: the pages are ANSI dialogs, so their texts pass through the system code page.
# Needs the windows preset built, and what tools/install-deps.sh installs for screenshots.
set -euo pipefail
cd "$(dirname "$0")/.."
host=build/windows/bin/uiext2_sheet_host.exe
[ -f "$host" ] || { echo "build the windows preset first ($host missing)" >&2; exit 1; }
mkdir -p docs/pages

# shoot LOCALE DPI PAGE OUT: one page of the sheet at one display scale (96 DPI = 100 %).
shoot() {
    LC_ALL=$1.UTF-8 UIEXT2_WINE_DPI=$2 bash tools/screenshot.sh "$4" "$host" "$3" >/dev/null
    # No time stamps or other chunks that would change the file on every run.
    /usr/bin/convert "$4" -strip -define png:compression-level=9 "$4"
    echo "wrote $4"
}

for row in enu:en_US chs:zh_CN cht:zh_TW fra:fr_FR deu:de_DE ita:it_IT esp:es_ES jpn:ja_JP; do
    for page in 0:settings 1:about; do
        shoot "${row#*:}" 96 "${page%%:*}" "docs/pages/${row%%:*}-${page#*:}.png"
    done
done
for row in enu:en_US jpn:ja_JP; do
    for scale in 150:144 200:192; do
        for page in 0:settings 1:about; do
            shoot "${row#*:}" "${scale#*:}" "${page%%:*}" "docs/pages/${row%%:*}-${page#*:}-${scale%%:*}.png"
        done
    done
done
