#!/usr/bin/env bash
# Runs a command of the Windows lane (ctest, a test program) as an ordinary account, for a
# build folder given first:
#   bash tools/as-test-account.sh build/windows ctest --preset windows
#
# Root ignores the Unix mode bits in which Wine keeps the read-only attribute, so a test run
# as root cannot see a read-only file refuse what it refuses on Windows. Run as root, this
# makes the account once and runs the command as it; run as anyone else, it runs the command
# as it stands. The account has a prefix of its own (Wine refuses a prefix another user owns)
# and a temporary folder, and may write only there and in CTest's log folder: the build tree
# stays the builder's.
set -euo pipefail
cd "$(dirname "$0")/.."

build=$(realpath "$1")
shift
if [ "$(id -u)" -ne 0 ]; then
    exec "$@"
fi

account=uiext2-tests
if ! id "$account" >/dev/null 2>&1; then
    useradd --system --create-home --home-dir "/var/lib/$account" --shell /usr/sbin/nologin "$account"
fi

# The checkout may lie below folders closed to others (a clone in a private temporary folder):
# the account is let through them, and may read the checkout, and nothing more. Only where it
# cannot already: an entry for the account stands before the rights of "others", so one on a
# folder such as /tmp would take away what others may do there.
as_account() { runuser -u "$account" -- "$@"; }
if ! as_account test -r "$PWD/CMakeLists.txt" -a -r "$build/CTestTestfile.cmake"; then
    folder=$(dirname "$PWD")
    while [ "$folder" != / ]; do
        as_account test -x "$folder" || setfacl -m "u:$account:x" "$folder"
        folder=$(dirname "$folder")
    done
    as_account test -r "$PWD/CMakeLists.txt" -a -x "$PWD" || setfacl -R -m "u:$account:rX" "$PWD"
fi

# Its temporary files too, whatever TMPDIR the caller has.
own="$build/$account"
mkdir -p "$own/tmp" "$build/Testing"
chown -R "$account:" "$own" "$build/Testing"
exec runuser -u "$account" -- env WINEPREFIX="$own/wineprefix" TMPDIR="$own/tmp" "$@"
