# The release compiler: clang targeting MinGW-w64 as in clang-mingw-w64-x86_64.cmake, linked
# by lld, which writes the PDB a Windows debugger reads for the DLL.
include(${CMAKE_CURRENT_LIST_DIR}/clang-mingw-w64-x86_64.cmake)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -pthread")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-fuse-ld=lld -pthread")
