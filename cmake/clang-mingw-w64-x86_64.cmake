# Second compiler: Debian's clang targeting x86_64-w64-mingw32, with the MinGW-w64
# headers, libraries and GNU binutils. clang cannot parse Debian's "12-posix" GCC
# folder name and would silently fall back to the host's /usr/include, so it is given
# a small sysroot of two symlinks (made here, in the build tree) that it does understand.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(UIEXT2_MINGW_TRIPLE x86_64-w64-mingw32)
set(_sysroot ${CMAKE_BINARY_DIR}/clang-sysroot)
if(NOT EXISTS ${_sysroot}/lib/gcc/${UIEXT2_MINGW_TRIPLE}/12)
    file(MAKE_DIRECTORY ${_sysroot}/lib/gcc/${UIEXT2_MINGW_TRIPLE})
    file(CREATE_LINK /usr/lib/gcc/${UIEXT2_MINGW_TRIPLE}/12-posix
         ${_sysroot}/lib/gcc/${UIEXT2_MINGW_TRIPLE}/12 SYMBOLIC)
    file(CREATE_LINK /usr/${UIEXT2_MINGW_TRIPLE} ${_sysroot}/${UIEXT2_MINGW_TRIPLE} SYMBOLIC)
endif()

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${UIEXT2_MINGW_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${UIEXT2_MINGW_TRIPLE})
set(CMAKE_SYSROOT ${_sysroot})
# GNU windres: llvm-windres ignores the code-page pragma of the UTF-8 resource scripts.
set(CMAKE_RC_COMPILER ${UIEXT2_MINGW_TRIPLE}-windres)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=bfd -pthread")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-fuse-ld=bfd -pthread")

set(CMAKE_FIND_ROOT_PATH /usr/${UIEXT2_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
