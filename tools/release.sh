#!/usr/bin/env bash
# Makes the release archive, build/release/dist/uiext2-<version>-win64.zip, in one command:
# installs what is missing, builds the release presets for x64 and ARM64 (clang and lld,
# optimised, the DLL stripped and its PDB beside it), signs each DLL (tools/sign.sh: the
# certificate comes from UIEXT2_SIGN_PFX and UIEXT2_SIGN_PASSWORD), runs the black-box and
# package tests under Wine (ARM64 Wine for ARM64) against the signed DLLs, packs the archive
# and checks what it holds.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${UIEXT2_SIGN_PFX:-}" ]; then
    echo "UIEXT2_SIGN_PFX must name the signing certificate (a .pfx file), UIEXT2_SIGN_PASSWORD its password" >&2
    exit 2
fi

bash tools/install-deps.sh
# The ARM64 toolchain and the arm64 root come from a cache outside the repository, made once.
arm64=$(bash tools/arm64-toolchain.sh prepare)
export ${arm64?}

# Builds a release preset and signs its DLL. What ships is what was tested: the tests run
# afterwards, against the signed DLL, which is also copied where the INF fragment finds it.
build_and_sign() {
    local preset=$1
    shift
    cmake --preset "$preset" "$@" >/dev/null
    cmake --build --preset "$preset" -j"$(nproc)"
    local description
    description=$(sed -n 's/^#define UIEXT2_DESCRIPTION "\(.*\)"$/\1/p' build/$preset/uiext2/version.h)
    bash tools/sign.sh "build/$preset/bin/uiext2.dll" "$description"
    cmake --build --preset "$preset" --target uiext2_source_disk >/dev/null
}

build_and_sign release-arm64
bash tools/arm64-toolchain.sh run . ctest --preset release-arm64
ctest --preset release-arm64-host

build=build/release
build_and_sign release -DUIEXT2_RELEASE_ALSO="arm64=$PWD/build/release-arm64/bin"
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
listed=$(cd "$top" && find . -type f | sed 's#^\./##' | LC_ALL=C sort | tr '\n' ' ')
expected="SECURITY-NOTES.md SHIPPING.md amd64/uiext2.dll amd64/uiext2.pdb amd64/uiext2.reg arm64/uiext2.dll arm64/uiext2.pdb arm64/uiext2.reg uiext2-example.inf uiext2.inf uiext2.wprp "
[ "$listed" = "$expected" ] || { echo "archive holds: $listed" >&2; exit 1; }
for arch in amd64:release arm64:release-arm64; do
    folder=$top/${arch%%:*}
    cmp "$folder/uiext2.dll" "build/${arch#*:}/bin/uiext2.dll"
    cmp "$folder/uiext2.reg" "build/${arch#*:}/bin/uiext2.reg"
    verify=(verify -in "$folder/uiext2.dll")
    [ -z "${UIEXT2_SIGN_CAFILE:-}" ] || verify+=(-CAfile "$UIEXT2_SIGN_CAFILE")
    osslsigncode "${verify[@]}" >/dev/null
    sh tools/check-pdb.sh "$(command -v llvm-readobj)" "$(command -v llvm-pdbutil)" "$folder/uiext2.dll" "$folder/uiext2.pdb"
    echo "${arch%%:*}: $(wc -c < "$folder/uiext2.dll") bytes of signed DLL"
done
# One fragment for both architectures, and the example INF it is merged into, as shipped,
# by the rules of a package run from the driver store.
cmake -DINF="$top/uiext2.inf" -DFRAGMENT=ON -P tools/check-inf.cmake
cmake -DINF="$top/uiext2-example.inf" -P tools/check-inf.cmake
echo "release archive: $archive"
