#!/usr/bin/env bash
# Makes the release archive, build/release/dist/uiext2-<version>-win64.zip, in one command:
# installs what is missing, builds the release preset (clang and lld, optimised, the DLL
# stripped and its PDB beside it), signs the DLL (tools/sign.sh: the certificate comes from
# UIEXT2_SIGN_PFX and UIEXT2_SIGN_PASSWORD), runs the black-box and package tests under Wine
# against the signed DLL, packs the archive and checks what it holds.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${UIEXT2_SIGN_PFX:-}" ]; then
    echo "UIEXT2_SIGN_PFX must name the signing certificate (a .pfx file), UIEXT2_SIGN_PASSWORD its password" >&2
    exit 2
fi

bash tools/install-deps.sh
build=build/release
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)"

dll=$build/bin/uiext2.dll
description=$(sed -n 's/^#define UIEXT2_DESCRIPTION "\(.*\)"$/\1/p' $build/uiext2/version.h)
bash tools/sign.sh "$dll" "$description"

# What ships is what was tested: the signed DLL.
ctest --preset release

rm -rf $build/dist
cpack --preset release
version=$(sed -n 's/^#define UIEXT2_VERSION_STRING "\(.*\)"$/\1/p' $build/uiext2/version.h)
archive=$build/dist/uiext2-$version-win64.zip
[ -f "$archive" ] || { echo "no archive $archive" >&2; exit 1; }

# The archive, unpacked as a package builder unpacks it.
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
(cd "$unpacked" && cmake -E tar xf "$OLDPWD/$archive")
top=$unpacked/uiext2-$version-win64
listed=$(cd "$top" && ls | sort | tr '\n' ' ')
[ "$listed" = "SHIPPING.md uiext2.dll uiext2.inf uiext2.pdb uiext2.reg " ] || { echo "archive holds: $listed" >&2; exit 1; }
cmp "$top/uiext2.dll" "$dll"
verify=(verify -in "$top/uiext2.dll")
[ -z "${UIEXT2_SIGN_CAFILE:-}" ] || verify+=(-CAfile "$UIEXT2_SIGN_CAFILE")
osslsigncode "${verify[@]}" >/dev/null
sh tools/check-pdb.sh "$(command -v llvm-readobj)" "$(command -v llvm-pdbutil)" "$top/uiext2.dll" "$top/uiext2.pdb"
echo "release archive: $archive ($(wc -c < "$top/uiext2.dll") bytes of signed DLL)"
