# What the build knows of the shipped library, in one place. The version comes from
# project(); the resource script, the class the module answers for, the registration
# files and the release archive all take their names and numbers from here.
set(UIEXT2_CLSID "2BCA3E51-192D-430D-9D2E-CBF18030EAD7")
set(UIEXT2_DLL_NAME "uiext2.dll")
set(UIEXT2_COMPANY "Velmora")
set(UIEXT2_PRODUCT_NAME "WIA Scanner")
set(UIEXT2_DESCRIPTION "WIA 2.0 scanner user-interface extension")
# The shell's property-sheet host and the WIA dialog call on a single-threaded apartment,
# the pages are windows of the calling thread, and module-wide state is written without
# locks: the object must be created in, and called from, the caller's apartment.
set(UIEXT2_THREADING_MODEL "Apartment")

# The architectures the release ships, as INF decorations name them, and this build's own.
set(UIEXT2_ARCHITECTURES amd64 arm64)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(ARM64|aarch64|arm64)$")
    set(UIEXT2_ARCHITECTURE arm64)
else()
    set(UIEXT2_ARCHITECTURE amd64)
endif()

get_filename_component(UIEXT2_DLL_BASENAME ${UIEXT2_DLL_NAME} NAME_WE)

# The class ID as a C initializer, {0x2bca3e51, 0x192d, 0x430d, {0x9d, 0x2e, ...}}.
set(_x "[0-9A-Fa-f]")
string(REPEAT "${_x}" 4 _x4)
if(NOT UIEXT2_CLSID MATCHES "^${_x4}${_x4}-${_x4}-${_x4}-${_x4}-${_x4}${_x4}${_x4}$")
    message(FATAL_ERROR "UIEXT2_CLSID is not a GUID: ${UIEXT2_CLSID}")
endif()
string(TOLOWER ${UIEXT2_CLSID} _guid)
string(SUBSTRING ${_guid} 0 8 _d1)
string(SUBSTRING ${_guid} 9 4 _d2)
string(SUBSTRING ${_guid} 14 4 _d3)
string(REPLACE "-" "" _d4 "${_guid}")
string(SUBSTRING ${_d4} 16 16 _d4)
string(REGEX REPLACE "(..)" "0x\\1, " _d4 ${_d4})
string(REGEX REPLACE ", $" "" _d4 "${_d4}")
set(UIEXT2_CLSID_INITIALIZER "{0x${_d1}, 0x${_d2}, 0x${_d3}, {${_d4}}}")
