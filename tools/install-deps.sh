#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build uiext2 and run its tests.
set -euo pipefail

packages=(
    cmake make g++ clang libclang-rt-14-dev            # native build, sanitizers, libFuzzer
    g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64
    googletest                                         # GoogleTest sources, built per target
    wine64 wine                                        # runs the Windows test programs
    xvfb xauth x11-apps x11-utils imagemagick           # screenshots of the pages
    fonts-wine fonts-wqy-microhei
    openssl                                            # the independent password-vector oracle
    lld llvm                                           # release: the PDB linker, objcopy, readobj, pdbutil
    osslsigncode                                       # release: Authenticode signing
    util-linux                                         # flock, runuser
    passwd acl                                         # the ordinary account of the Windows tests
    locales                                            # localedef
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
    SUDO=
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    $SUDO apt-get update
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

# Wine takes its system locale from LC_ALL, and the character set of Unix file names from
# the C library's locale: without a generated ja_JP.UTF-8, a Japanese-locale test process
# cannot create a file whose name is not ASCII.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
    SUDO=
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    $SUDO localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
