# The INF checker against the two INF files the build writes, which must pass, and against
# copies of the example INF broken one way each, which must fail with the rule named.
#   cmake -DCHECKER=tools/check-inf.cmake -DEXAMPLE=uiext2-example.inf -DFRAGMENT_INF=uiext2.inf -P ...
cmake_minimum_required(VERSION 3.25)
include(${CHECKER})

set(failures 0)
macro(expect_clean inf fragment)
    set(FRAGMENT ${fragment})
    inf_check("${inf}")
    foreach(problem IN LISTS problems)
        message("${inf}: ${problem}")
        math(EXPR failures "${failures} + 1")
    endforeach()
endmacro()
expect_clean("${EXAMPLE}" OFF)
expect_clean("${FRAGMENT_INF}" ON)

# rule|text in the example|what it becomes. The faults a vendor's merge or a change of the
# generator could bring: the system folder, the naive fix that loses the subfolder, a
# path outside the store, a global key or another class's, a file renamed, one architecture
# forgotten.
set(nl "\n") # file(READ) gives the CRLF lines as LF
set(rows
    "dirid13|uiext2.CopyFiles.amd64=13,amd64|uiext2.CopyFiles.amd64=11"
    "dirid13|[DestinationDirs]${nl}|[DestinationDirs]${nl}DefaultDestDir=13${nl}"
    "subdir|uiext2.CopyFiles.arm64=13,arm64|uiext2.CopyFiles.arm64=13"
    "subdir|[uiext2.CopyFiles.amd64]${nl}uiext2.dll|[uiext2.CopyFiles.amd64]${nl}uiext2.dll,uiext2-1.dll"
    "path13|\"%13%\\amd64\\uiext2.dll\"|\"%11%\\uiext2.dll\""
    "hkcr|[uiext2.AddReg.arm64]${nl}|[uiext2.AddReg.arm64]${nl}HKLM,\"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\",\"x\",0,\"x\"${nl}"
    "hkcr|[uiext2.AddReg.amd64]${nl}|[uiext2.AddReg.amd64]${nl}HKCR,\"CLSID\\{0F5A2C3E-0000-4000-8000-000000000001}\",,0x10${nl}"
    "universal|AddReg=uiext2.AddReg.amd64|AddReg=uiext2.AddReg.amd64${nl}RegisterDlls=uiext2.Register"
    "version|PnpLockdown=1|PnpLockdown=0"
    "platforms|,NTamd64,NTarm64|,NTamd64"
    "platforms|[SourceDisksFiles.arm64]|[SourceDisksFiles.arm]"
    "wia|UI Class ID=|UI Class=")
file(READ "${EXAMPLE}" example)
# The broken copies go to the host's temporary folder: the tests may run as an account
# that can read the build tree but not write it.
set(folder "$ENV{TMPDIR}")
if(folder STREQUAL "")
    set(folder /tmp)
endif()
string(RANDOM LENGTH 8 unique)
set(broken "${folder}/uiext2-example-broken-${unique}.inf")
foreach(row IN LISTS rows)
    string(REPLACE "|" ";" cells "${row}")
    list(GET cells 0 rule)
    list(GET cells 1 from)
    list(GET cells 2 to)
    string(REPLACE "${from}" "${to}" text "${example}")
    if(text STREQUAL example)
        message("row ${rule}: \"${from}\" is not in the example INF")
        math(EXPR failures "${failures} + 1")
        continue()
    endif()
    file(WRITE "${broken}" "${text}")
    set(FRAGMENT OFF)
    inf_check("${broken}")
    string(FIND "${problems}" "[${rule}]" at)
    if(at LESS 0)
        message("${to}: no [${rule}] finding; found: ${problems}")
        math(EXPR failures "${failures} + 1")
    endif()
endforeach()
file(REMOVE "${broken}")
if(failures GREATER 0)
    message(FATAL_ERROR "${failures} failure(s)")
endif()
