#!/usr/bin/env bash
# Pictures of the scanner's property pages, as the shell hosts them, in the eight languages:
#   docs/pages/<suffix>-settings.png and docs/pages/<suffix>-about.png
# Each language runs under its own system locale, as on a machine whose language follows its
# system locale: the pages are ANSI dialogs, so their texts pass through the system code page.
# Needs the windows preset built, and what tools/install-deps.sh installs for screenshots.
set -euo pipefail
cd "$(dirname "$0")/.."
host=build/windows/bin/uiext2_sheet_host.exe
[ -f "$host" ] || { echo "build the windows preset first ($host missing)" >&2; exit 1; }
mkdir -p docs/pages
for row in enu:en_US chs:zh_CN cht:zh_TW fra:fr_FR deu:de_DE ita:it_IT esp:es_ES jpn:ja_JP; do
    suffix=${row%%:*}
    for page in 0:settings 1:about; do
        out=docs/pages/$suffix-${page#*:}.png
        LC_ALL=${row#*:}.UTF-8 bash tools/screenshot.sh "$out" "$host" "${page%%:*}" >/dev/null
        # No time stamps or other chunks that would change the file on every run.
        /usr/bin/convert "$out" -strip -define png:compression-level=9 "$out"
        echo "wrote $out"
    done
done
