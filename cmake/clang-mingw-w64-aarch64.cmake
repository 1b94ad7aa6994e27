# Windows on ARM64: Debian's clang-19 and lld-19 targeting aarch64-w64-mingw32. Debian has no
# ARM64 MinGW-w64 toolchain; tools/arm64-toolchain.sh builds the target's headers, UCRT C
# runtime, compiler-rt builtins, libc++ and winpthreads from Debian's sources into a folder
# outside the repository, named here by UIEXT2_ARM64_TOOLCHAIN (else the one it made last).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ARM64)

set(UIEXT2_MINGW_TRIPLE aarch64-w64-mingw32)
if(DEFINED ENV{UIEXT2_ARM64_TOOLCHAIN})
    set(_toolchain $ENV{UIEXT2_ARM64_TOOLCHAIN})
else()
    set(_toolchain /var/cache/uiext2-arm64/toolchain)
endif()
if(NOT EXISTS ${_toolchain}/.complete)
    message(FATAL_ERROR "No ARM64 toolchain in ${_toolchain}: run tools/arm64-toolchain.sh "
                        "(as root) and set UIEXT2_ARM64_TOOLCHAIN to the folder it prints")
endif()
get_filename_component(_toolchain ${_toolchain} REALPATH)

# The wrappers add the target, the sysroot, compiler-rt, libc++, libunwind and lld, to every
# call: the link choices go unused when compiling, which is no reason to stop the build.
set(CMAKE_C_COMPILER ${_toolchain}/bin/${UIEXT2_MINGW_TRIPLE}-clang)
set(CMAKE_CXX_COMPILER ${_toolchain}/bin/${UIEXT2_MINGW_TRIPLE}-clang++)
set(CMAKE_C_FLAGS_INIT "-Wno-unused-command-line-argument")
set(CMAKE_CXX_FLAGS_INIT "-Wno-unused-command-line-argument")
# GNU windres has no ARM64 target: llvm-windres, through a wrapper that gives its clang
# preprocessor the sysroot. It reads the resource scripts as UTF-8 only when told: it ignores
# their code-page pragma.
set(CMAKE_RC_COMPILER ${_toolchain}/bin/${UIEXT2_MINGW_TRIPLE}-windres)
set(CMAKE_RC_FLAGS_INIT "-c 65001")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-pthread")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-pthread")
# The release build's tools, of the same LLVM, which know ARM64 PE files.
find_program(UIEXT2_LLVM_OBJCOPY NAMES llvm-objcopy-19 llvm-objcopy)
find_program(UIEXT2_OBJDUMP NAMES llvm-objdump-19 llvm-objdump)

set(CMAKE_FIND_ROOT_PATH ${_toolchain}/sysroot)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
