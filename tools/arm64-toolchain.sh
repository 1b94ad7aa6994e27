#!/usr/bin/env bash
# What the arm64 build and its tests need, made from Debian's own packages and sources and
# kept in a cache outside the repository, keyed by the versions it was made from:
#
#   tools/arm64-toolchain.sh [prepare]     makes (or finds) both parts below, then prints
#                                          UIEXT2_ARM64_TOOLCHAIN=... and UIEXT2_ARM64_ROOT=...
#   tools/arm64-toolchain.sh toolchain     the aarch64-w64-mingw32 sysroot for clang-19: headers,
#                                          UCRT C runtime, compiler-rt builtins, libunwind,
#                                          libc++abi, libc++, winpthreads
#   tools/arm64-toolchain.sh root          an arm64 Debian 13 root with Wine, run by qemu-user
#   tools/arm64-toolchain.sh run DIR CMD.. runs CMD inside the arm64 root, DIR (the checkout)
#                                          and the folders in UIEXT2_ARM64_BINDS (a:b:...)
#                                          bound at the same paths, the caller's folder kept
#
# Debian has no aarch64 MinGW-w64 toolchain: clang-19 and lld-19 compile and link, and the
# target's runtime is built here from the mingw-w64 and llvm-toolchain-19 source packages.
# Every part is built in a temporary folder and renamed into place only when whole, so a
# half-made part is never taken for a made one. The package archive is the one this machine's
# apt sources name. Needs root: apt, chroot, bind mounts and binfmt_misc.
set -euo pipefail

cache_base=${UIEXT2_ARM64_CACHE:-/var/cache/uiext2-arm64}
triple=aarch64-w64-mingw32
llvm_major=19
mingw_suite=trixie   # mingw-w64 12, and the root's Wine 10
root_packages=(wine wine64 cmake locales)
root_locales=(en_US.UTF-8 ja_JP.UTF-8)
jobs=$(nproc)
self=$(readlink -f "$0")

say() { printf '[arm64 %s] %s\n' "$(date -u +%H:%M:%S)" "$*" >&2; }
die() { say "FAILED: $*"; exit 1; }

# Runs one named step, timing it; a failing step stops everything with its name.
step() {
    local name=$1
    shift
    say "$name ..."
    local start=$SECONDS rc=0
    # In the background, so that errexit holds inside the step's functions (it does not in
    # the left side of "||"); what a step sets stays in it.
    "$@" >&2 &
    wait $! || rc=$?
    [ "$rc" -eq 0 ] || die "$name (exit $rc)"
    say "$name: done in $((SECONDS - start)) s"
}

[ "$(id -u)" -eq 0 ] || die "needs root (apt, chroot, bind mounts, binfmt_misc): run with sudo"

# --- the package archive, as this machine's apt sources name it ---------------------------
archive_uri() {
    local uri
    uri=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null | awk '
        /^[[:space:]]*$/ { if (types ~ /deb/ && suites ~ /(^| )'"$host_codename"'( |$)/ && uri == "") uri = u; types = suites = u = ""; next }
        /^Types:/ { types = $0 } /^Suites:/ { suites = $0 } /^URIs:/ { u = $2 }
        END { if (types ~ /deb/ && suites ~ /(^| )'"$host_codename"'( |$)/ && uri == "") uri = u; print uri }')
    if [ -z "$uri" ]; then
        uri=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
            awk '$1 == "deb" && $0 ~ / '"$host_codename"' / { for (i = 2; i <= NF; i++) if ($i ~ /:\/\//) { print $i; exit } }')
    fi
    [ -n "$uri" ] || die "no Debian archive for $host_codename in this machine's apt sources"
    echo "${uri%/}"
}

# A private apt state (its own sources and lists) that sees Debian 13 and the sources of both
# releases, leaving the machine's own apt configuration alone.
apt_private() {
    apt-get -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$apt_dir/sources" \
        -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache" \
        -o Dir::State::status=/var/lib/dpkg/status -o Acquire::Languages=none \
        -o APT::Sandbox::User=root "$@"
}
apt_cache_private() {
    apt-cache -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$apt_dir/sources" \
        -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache" \
        -o Dir::State::status=/var/lib/dpkg/status "$@"
}

setup_private_apt() {
    mkdir -p "$apt_dir/sources" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
    cat >"$apt_dir/sources/debian.sources" <<EOF
Types: deb deb-src
URIs: $mirror
Suites: $mingw_suite
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: $mirror
Suites: $host_codename $host_codename-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    apt_private update -qq
}

source_version() { # the newest version of a source package in a suite
    apt_cache_private showsrc "$1" 2>/dev/null | awk -v s="$2" '
        /^Package:/ { p = $2 } /^Version:/ { v = $2 }
        /^$/ { if (v != "") print v; v = "" } END { if (v != "") print v }' | sort -V | tail -1
}
binary_version() { # the candidate of a binary package in the private state, from a suite
    apt_cache_private madison "$1" 2>/dev/null | awk -v s="$2" '$0 ~ s { print $3; exit }'
}

host_tools() {
    local packages=(clang-$llvm_major lld-$llvm_major llvm-$llvm_major cmake ninja-build make
        xz-utils dpkg-dev debootstrap googletest file)
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ "${#missing[@]}" -eq 0 ] && return 0
    apt-get -o DPkg::Lock::Timeout=900 update -qq
    DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 install -y \
        --no-install-recommends "${missing[@]}"
}

# --- the toolchain part --------------------------------------------------------------------

# clang-19 with the target, the sysroot and the LLVM runtimes, found relative to the wrapper.
write_wrappers() {
    local dir=$1/bin
    mkdir -p "$dir"
    for tool in clang clang++; do
        cat >"$dir/$triple-$tool" <<EOF
#!/bin/sh
here=\$(dirname "\$(readlink -f "\$0")")/..
exec $tool-$llvm_major --target=$triple --sysroot="\$here/sysroot" -resource-dir="\$here/resource" \\
    -rtlib=compiler-rt -unwindlib=libunwind -stdlib=libc++ -fuse-ld=lld "\$@"
EOF
        chmod +x "$dir/$triple-$tool"
    done
    # The resource compiler preprocesses with clang, which must see the same sysroot.
    cat >"$dir/$triple-windres" <<EOF
#!/bin/sh
here=\$(dirname "\$(readlink -f "\$0")")/..
exec llvm-windres-$llvm_major --target=$triple --preprocessor-arg=--sysroot="\$here/sysroot" "\$@"
EOF
    chmod +x "$dir/$triple-windres"
    for tool in ar ranlib dlltool nm objcopy strip readobj; do
        ln -sf "$(command -v llvm-$tool-$llvm_major || echo /usr/lib/llvm-$llvm_major/bin/llvm-$tool)" "$dir/$triple-$tool"
    done
    # clang's own headers, the target's compiler-rt builtins installed beside them below.
    local resource
    resource=$(clang-$llvm_major -print-resource-dir)
    mkdir -p "$1/resource/lib"
    ln -s "$resource/include" "$1/resource/include"
}

fetch_sources() {
    # Downloads are kept beside the cache: a later build of another key may reuse them.
    mkdir -p "$cache_base/.downloads" && cd "$cache_base/.downloads"
    # The .dsc of a snapshot mirror may be missing; the upstream tarballs are what is used.
    apt_private source --download-only "mingw-w64=$mingw_version" >/dev/null 2>&1 || true
    apt_private source --download-only "llvm-toolchain-$llvm_major=$llvm_version" >/dev/null 2>&1 || true
    local mingw_tar llvm_tar
    mingw_tar=$(ls mingw-w64_"${mingw_version%-*}".orig.tar.* 2>/dev/null | head -1)
    llvm_tar=$(ls llvm-toolchain-${llvm_major}_"$(echo "${llvm_version#*:}" | sed 's/-[^-]*$//')".orig.tar.* 2>/dev/null | head -1)
    [ -n "$mingw_tar" ] || { echo "no mingw-w64 $mingw_version source tarball came" >&2; return 1; }
    [ -n "$llvm_tar" ] || { echo "no llvm-toolchain-$llvm_major $llvm_version source tarball came" >&2; return 1; }
    mkdir "$work/src/mingw" "$work/src/llvm"
    tar -xf "$mingw_tar" -C "$work/src/mingw" --strip-components=1
    tar -xf "$llvm_tar" -C "$work/src/llvm" --strip-components=1 --wildcards --no-wildcards-match-slash \
        '*/runtimes' '*/libcxx' '*/libcxxabi' '*/libunwind' '*/compiler-rt' '*/cmake' \
        '*/llvm/cmake' '*/llvm/utils' '*/third-party'
}

build_headers() {
    mkdir -p "$work/b/headers" && cd "$work/b/headers"
    "$work/src/mingw/mingw-w64-headers/configure" --host=$triple --prefix="$sysroot" \
        --with-default-msvcrt=ucrt >/dev/null
    make -j"$jobs" install >/dev/null
}

autotools_env() { # the wrappers on PATH too: configure looks for $triple-windres there
    export CC=$tc/bin/$triple-clang CXX=$tc/bin/$triple-clang++ AR=$tc/bin/$triple-ar \
        RANLIB=$tc/bin/$triple-ranlib DLLTOOL=$tc/bin/$triple-dlltool PATH=$tc/bin:$PATH
}

build_crt() {
    mkdir -p "$work/b/crt" && cd "$work/b/crt"
    (autotools_env
     "$work/src/mingw/mingw-w64-crt/configure" --host=$triple --prefix="$sysroot" \
         --disable-lib32 --disable-lib64 --enable-libarm64 --with-default-msvcrt=ucrt >/dev/null
     make -j"$jobs" >/dev/null && make install >/dev/null)
}

runtimes_cmake() { # common CMake settings for the target runtimes
    echo -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_SYSTEM_NAME=Windows \
        -DCMAKE_SYSTEM_PROCESSOR=aarch64 -DCMAKE_C_COMPILER="$tc/bin/$triple-clang" \
        -DCMAKE_CXX_COMPILER="$tc/bin/$triple-clang++" -DCMAKE_AR="$tc/bin/$triple-ar" \
        -DCMAKE_RANLIB="$tc/bin/$triple-ranlib" -DCMAKE_C_COMPILER_WORKS=1 \
        -DCMAKE_CXX_COMPILER_WORKS=1 -DCMAKE_C_COMPILER_TARGET=$triple \
        -DCMAKE_CXX_COMPILER_TARGET=$triple
}

build_builtins() {
    mkdir -p "$work/b/builtins" && cd "$work/b/builtins"
    # shellcheck disable=SC2046
    cmake $(runtimes_cmake) "$work/src/llvm/compiler-rt/lib/builtins" \
        -DCOMPILER_RT_DEFAULT_TARGET_ONLY=ON -DCOMPILER_RT_BUILD_BUILTINS=ON \
        -DCOMPILER_RT_EXCLUDE_ATOMIC_BUILTIN=OFF \
        -DCMAKE_INSTALL_PREFIX="$tc/resource" -DCOMPILER_RT_INSTALL_PATH="$tc/resource" \
        -DLLVM_CMAKE_DIR="$work/src/llvm/llvm/cmake/modules" >/dev/null
    cmake --build . -j"$jobs" >/dev/null
    cmake --install . >/dev/null
    ls "$tc"/resource/lib/windows/libclang_rt.builtins-aarch64.a >/dev/null
}

build_cxx() {
    mkdir -p "$work/b/cxx" && cd "$work/b/cxx"
    # shellcheck disable=SC2046
    cmake $(runtimes_cmake) "$work/src/llvm/runtimes" -DCMAKE_INSTALL_PREFIX="$sysroot" \
        -DLLVM_ENABLE_RUNTIMES="libunwind;libcxxabi;libcxx" -DLLVM_INCLUDE_DOCS=OFF \
        -DLIBUNWIND_ENABLE_SHARED=OFF -DLIBCXXABI_ENABLE_SHARED=OFF -DLIBCXX_ENABLE_SHARED=OFF \
        -DLIBCXX_ENABLE_STATIC_ABI_LIBRARY=TRUE -DLIBCXXABI_USE_LLVM_UNWINDER=ON \
        -DLIBCXXABI_USE_COMPILER_RT=ON -DLIBCXX_USE_COMPILER_RT=ON -DLIBUNWIND_USE_COMPILER_RT=ON \
        -DLIBCXX_INCLUDE_DOCS=OFF -DLIBCXX_INCLUDE_BENCHMARKS=OFF -DLIBCXX_INCLUDE_TESTS=OFF \
        -DLIBCXXABI_INCLUDE_TESTS=OFF -DLIBUNWIND_INCLUDE_TESTS=OFF -DLIBCXX_CXX_ABI=libcxxabi \
        -DLIBCXXABI_ENABLE_THREADS=ON -DLIBCXX_HAS_WIN32_THREAD_API=ON \
        -DLIBCXXABI_HAS_WIN32_THREAD_API=ON >/dev/null
    cmake --build . -j"$jobs" >/dev/null
    cmake --install . >/dev/null
}

build_winpthreads() {
    mkdir -p "$work/b/winpthreads" && cd "$work/b/winpthreads"
    (autotools_env
     "$work/src/mingw/mingw-w64-libraries/winpthreads/configure" --host=$triple \
         --prefix="$sysroot" --disable-shared --enable-static >/dev/null
     make -j"$jobs" >/dev/null && make install >/dev/null)
}

check_toolchain() { # a C++ program that throws and catches, linked as the project links
    cd "$work"
    printf '#include <stdexcept>\n#include <thread>\nint main(){int r=1;std::thread([&]{try{throw std::runtime_error("x");}catch(const std::exception&){r=0;}}).join();return r;}\n' >probe.cpp
    "$tc/bin/$triple-clang++" -std=c++17 -O2 -static -pthread probe.cpp -o probe.exe
    file probe.exe | grep -q 'Aarch64' || file probe.exe | grep -qi 'arm64'
}

make_toolchain() {
    mingw_version=$(source_version mingw-w64 "$mingw_suite")
    llvm_version=$(dpkg-query -W -f='${Version}' clang-$llvm_major)
    [ -n "$mingw_version" ] || die "mingw-w64 is not in $mingw_suite's sources"
    local recipe
    recipe=$(sed -n '/^# --- the toolchain part/,/^# --- the root part/p' "$self" | sha256sum | cut -c1-10)
    local key="toolchain-mingw${mingw_version//[:~]/_}-llvm${llvm_version//[:~]/_}-$recipe"
    toolchain_dir=$cache_base/$key
    if [ -f "$toolchain_dir/.complete" ]; then
        say "toolchain: reusing $toolchain_dir"
        return 0
    fi
    say "toolchain: building $key (mingw-w64 $mingw_version, clang $llvm_version)"
    rm -rf "$cache_base"/.build-toolchain.* # left by a run that failed; none runs now (locked)
    work=$(mktemp -d "$cache_base/.build-toolchain.XXXXXX")
    tc=$work/out sysroot=$work/out/sysroot
    mkdir -p "$work/src" "$tc"
    write_wrappers "$tc"
    step "sources: mingw-w64 and llvm-toolchain-$llvm_major from the package archive" fetch_sources
    step "headers ($triple, UCRT)" build_headers
    step "C runtime (UCRT)" build_crt
    step "compiler-rt builtins" build_builtins
    step "libunwind, libc++abi, libc++ (static)" build_cxx
    step "winpthreads (static)" build_winpthreads
    step "check: a threaded C++ program that throws, for ARM64" check_toolchain
    # The wrappers find everything relative to themselves: the finished folder moves whole.
    touch "$tc/.complete"
    rm -rf "$toolchain_dir"
    mv "$tc" "$toolchain_dir"
    rm -rf "$work"
    say "toolchain: $toolchain_dir ($(du -sh "$toolchain_dir" | cut -f1))"
}

# --- the root part -------------------------------------------------------------------------

qemu_binary() { echo "$1/usr/libexec/uiext2/qemu-aarch64"; }

# qemu-aarch64 registered for arm64 ELF programs with the F flag: the kernel opens the
# interpreter now, so it also runs programs inside the root, which does not contain it.
register_binfmt() {
    local qemu=$1
    mountpoint -q /proc/sys/fs/binfmt_misc || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    local entry=/proc/sys/fs/binfmt_misc/uiext2-aarch64
    if [ -f "$entry" ]; then
        grep -q "^interpreter $qemu$" "$entry" && return 0
        echo -1 >"$entry"
    fi
    echo ':uiext2-aarch64:M::\x7fELF\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\xb7\x00:\xff\xff\xff\xff\xff\xff\xff\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':F' \
        >/proc/sys/fs/binfmt_misc/register
}

fetch_qemu() {
    cd "$work"
    apt_private download "qemu-user=$qemu_version" >/dev/null
    dpkg-deb -x qemu-user_*.deb qemu
    local bin=
    for candidate in qemu/usr/bin/qemu-aarch64-static qemu/usr/bin/qemu-aarch64; do
        [ -n "$bin" ] || [ ! -f "$candidate" ] || bin=$candidate
    done
    [ -n "$bin" ] || { echo "qemu-user $qemu_version has no qemu-aarch64" >&2; return 1; }
    file -L "$bin" | grep -Eq 'static(ally|-pie) linked' || { echo "$bin is not static" >&2; return 1; }
    mkdir -p "$(dirname "$(qemu_binary "$rootfs")")"
    cp "$bin" "$(qemu_binary "$rootfs")"
}

# Debian's arm64 ntdll is marked for branch-target identification but its syscall dispatcher
# has no landing instruction: under a CPU model with BTI, Wine loops on an illegal-instruction
# exception. Neoverse N1 has no BTI.
export QEMU_CPU=neoverse-n1

debootstrap_first() {
    debootstrap --arch=arm64 --foreign --variant=minbase "$mingw_suite" "$rootfs" "$mirror" >/dev/null
}

debootstrap_second() {
    register_binfmt "$(qemu_binary "$rootfs")"
    chroot "$rootfs" /debootstrap/debootstrap --second-stage >/dev/null
}

in_new_root() { # runs a command in the root being built, /proc, /sys and /dev bound
    unshare --mount --propagation private sh -c '
        r=$1; shift
        for m in proc sys dev dev/pts; do mount --bind /$m "$r/$m"; done
        cp /etc/resolv.conf "$r/etc/resolv.conf" 2>/dev/null || true
        exec chroot "$r" "$@"' sh "$rootfs" "$@"
}

root_packages_install() {
    echo "deb $mirror $mingw_suite main" >"$rootfs/etc/apt/sources.list"
    in_new_root apt-get update -qq
    in_new_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${root_packages[@]}" >/dev/null
    in_new_root apt-get clean
}

root_locales() {
    local l
    for l in "${root_locales[@]}"; do
        in_new_root localedef -i "${l%%.*}" -f "${l#*.}" "$l"
    done
}

check_root() { # Wine starts a program in a new prefix
    local said
    said=$(in_new_root env WINEPREFIX=/tmp/probe-prefix WINEDEBUG=-all wine cmd.exe /c echo arm64-wine-ok)
    echo "$said"
    case "$said" in *arm64-wine-ok*) ;; *) return 1 ;; esac
    in_new_root sh -c 'wineserver -k; rm -rf /tmp/probe-prefix' || true
}

make_root() {
    local wine_version
    wine_version=$(source_version wine "$mingw_suite")
    qemu_version=$(binary_version qemu-user "$mingw_suite")
    [ -n "$qemu_version" ] || die "qemu-user is not in $mingw_suite"
    local recipe
    recipe=$(sed -n '/^# --- the root part/,/^# --- the commands/p' "$self" | sha256sum | cut -c1-10)
    local key="root-$mingw_suite-wine${wine_version//[:~]/_}-qemu${qemu_version//[:~]/_}-$recipe"
    root_dir=$cache_base/$key
    if [ -f "$root_dir/.complete" ]; then
        say "root: reusing $root_dir"
        register_binfmt "$(qemu_binary "$root_dir/fs")"
        return 0
    fi
    say "root: building $key"
    rm -rf "$cache_base"/.build-root.*
    work=$(mktemp -d "$cache_base/.build-root.XXXXXX")
    rootfs=$work/out/fs
    mkdir -p "$rootfs"
    step "qemu-user $qemu_version (aarch64, static)" fetch_qemu
    step "arm64 $mingw_suite root: first stage" debootstrap_first
    step "arm64 $mingw_suite root: second stage, under qemu" debootstrap_second
    step "arm64 root: ${root_packages[*]}" root_packages_install
    step "arm64 root: locales ${root_locales[*]}" root_locales
    step "check: Wine runs a Windows program in the arm64 root" check_root
    touch "$work/out/.complete"
    rm -rf "$root_dir"
    mv "$work/out" "$root_dir"
    rm -rf "$work"
    register_binfmt "$(qemu_binary "$root_dir/fs")"
    say "root: $root_dir ($(du -sh "$root_dir" | cut -f1))"
}

# --- the commands --------------------------------------------------------------------------

prepare_common() {
    host_codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    mkdir -p "$cache_base"
    step "host tools (clang-$llvm_major, lld-$llvm_major, debootstrap, ...)" host_tools
    mirror=$(archive_uri)
    apt_dir=$cache_base/.apt
    step "package lists of $mingw_suite and the sources, from $mirror" setup_private_apt
}

# One builder per part at a time; a second one waits and then finds the part made.
locked() {
    local name=$1
    shift
    exec {lock}>"$cache_base/.lock-$name"
    flock "$lock"
    "$@"
    exec {lock}>&-
}

latest_complete() { # the most recently made complete part of a kind, for "run"
    ls -1dt "$cache_base"/"$1"-*/.complete 2>/dev/null | head -1 | xargs -r dirname
}

command=${1:-prepare}
case "$command" in
    prepare | toolchain | root)
        total=$SECONDS
        mkdir -p "$cache_base"
        exec {apt_lock}>"$cache_base/.lock-apt"
        flock "$apt_lock"
        prepare_common
        exec {apt_lock}>&-
        if [ "$command" = prepare ]; then
            # The root is made mostly of downloads and of one emulated process at a time: it
            # is made beside the toolchain, then found whole by the call after the wait.
            (locked root make_root) &
            root_job=$!
            locked toolchain make_toolchain
            wait "$root_job" || die "the arm64 root"
        fi
        if [ "$command" != root ]; then locked toolchain make_toolchain; fi
        if [ "$command" != toolchain ]; then locked root make_root; fi
        ln -sfn "$(basename "${toolchain_dir:-$(latest_complete toolchain)}")" "$cache_base/toolchain.new" 2>/dev/null &&
            mv -T "$cache_base/toolchain.new" "$cache_base/toolchain" || true
        say "all made in $((SECONDS - total)) s"
        [ -z "${toolchain_dir:-}" ] || echo "UIEXT2_ARM64_TOOLCHAIN=$toolchain_dir"
        [ -z "${root_dir:-}" ] || echo "UIEXT2_ARM64_ROOT=$root_dir"
        ;;
    run)
        [ "$#" -ge 3 ] || die "usage: $0 run CHECKOUT COMMAND [ARGS...]"
        checkout=$(readlink -f "$2")
        shift 2
        root_dir=${UIEXT2_ARM64_ROOT:-$(latest_complete root)}
        [ -n "$root_dir" ] && [ -f "$root_dir/.complete" ] || die "no arm64 root: run $0 first"
        register_binfmt "$(qemu_binary "$root_dir/fs")"
        # The test files CMake wrote name the builder's GoogleTest module: bind its folder too.
        modules=/usr/share/cmake-$(cmake --version | awk 'NR == 1 { split($3, v, "."); print v[1] "." v[2] }')
        [ -d "$modules" ] || modules=
        exec unshare --mount --propagation private sh -c '
            r=$1 checkout=$2 modules=$3 dir=$4; shift 4
            for m in proc sys dev dev/pts; do mount --bind /$m "$r/$m"; done
            mkdir -p "$r$checkout" && mount --bind "$checkout" "$r$checkout"
            IFS=:; for b in $UIEXT2_ARM64_BINDS; do [ -d "$b" ] && mkdir -p "$r$b" && mount --bind "$b" "$r$b"; done; unset IFS
            if [ -n "$modules" ]; then mkdir -p "$r$modules" && mount --bind -o ro "$modules" "$r$modules"; fi
            # The faces the Wine prefixes pin (Wine'"'"'s own fonts, a CJK face) are data, not
            # code: the host'"'"'s, which tools/install-deps.sh installs, serve the root as well.
            for f in /usr/share/wine/fonts /usr/share/fonts/truetype/wqy; do
                [ -d "$f" ] && mkdir -p "$r$f" && mount --bind -o ro "$f" "$r$f"
            done
            exec chroot "$r" sh -c "cd \"\$0\" && exec \"\$@\"" "$dir" "$@"' \
            sh "$root_dir/fs" "$checkout" "$modules" "$PWD" "$@"
        ;;
    *) die "unknown command $command (prepare, toolchain, root, run)" ;;
esac
