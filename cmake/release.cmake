# The release build: the DLL stripped, its symbols in a PDB beside it that a Windows
# debugger finds through the DLL's debug directory.
option(UIEXT2_RELEASE "Release build: a stripped DLL with a PDB, size, symbol and signing checks" OFF)

if(UIEXT2_RELEASE AND MINGW)
    # lld writes the PDB from CodeView, so every object the DLL is made of carries CodeView.
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "UIEXT2_RELEASE with MinGW needs clang and lld (the release preset)")
    endif()
    add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-g$<SEMICOLON>-gcodeview>)
    find_program(UIEXT2_LLVM_OBJCOPY NAMES llvm-objcopy llvm-objcopy-14 REQUIRED)
endif()

# Gives a DLL target its PDB (named without a folder, so the debug directory carries no build
# path) and strips the DWARF that MinGW's static runtime libraries bring along.
function(uiext2_ship_symbols target)
    if(NOT UIEXT2_RELEASE)
        return()
    endif()
    if(MSVC)
        target_link_options(${target} PRIVATE /DEBUG /PDBALTPATH:%_PDB%)
        return()
    endif()
    target_link_options(${target} PRIVATE "-Wl,--pdb=$<TARGET_FILE_DIR:${target}>/$<TARGET_FILE_BASE_NAME:${target}>.pdb"
                        "-Wl,-Xlink=-pdbaltpath:%_PDB%" -s)
    add_custom_command(TARGET ${target} POST_BUILD
                       COMMAND ${UIEXT2_LLVM_OBJCOPY} --strip-debug $<TARGET_FILE:${target}>
                       VERBATIM)
endfunction()
