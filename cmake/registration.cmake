# Writes the registration a driver package takes, from one table, in the two forms it
# ships in: an INF fragment (for the driver's INF) and a .reg file (for a test machine).

# The UI class is the class the driver's DeviceData names ("UI Class ID", read back by
# applications as WIA_DIP_UI_CLSID); the platform looks the extension up under that
# class's shellex keys. The extension's own class serves as its UI class.
set(_class "CLSID\\{${UIEXT2_CLSID}}")
set(_handler "{${UIEXT2_CLSID}}")
# One row a registry entry under HKEY_CLASSES_ROOT: key|value name|data. An empty value
# name is the key's default value; a row with neither name nor data only makes the key.
# @DLL@ stands for the path the DLL is installed to.
set(UIEXT2_REGISTRATION_ROWS
    "${_class}||${UIEXT2_DESCRIPTION}"
    "${_class}\\InProcServer32||@DLL@"
    "${_class}\\InProcServer32|ThreadingModel|${UIEXT2_THREADING_MODEL}"
    "${_class}\\shellex\\PropertySheetHandlers\\${_handler}||"
    "${_class}\\shellex\\WiaDialogExtensionHandlers\\${_handler}||")

# Sets key, name and data in the caller from a row, the DLL's installed path put in for @DLL@.
function(uiext2_registration_fields row dll)
    string(REPLACE "|" ";" fields "${row}")
    list(GET fields 0 key)
    list(GET fields 1 name)
    list(GET fields 2 data)
    string(REPLACE "@DLL@" "${dll}" data "${data}")
    set(key "${key}" PARENT_SCOPE)
    set(name "${name}" PARENT_SCOPE)
    set(data "${data}" PARENT_SCOPE)
endfunction()

# The INF fragment: the DeviceData line, the AddReg and CopyFiles sections and the install
# directives, the DLL copied to the system folder (DIRID 11). The install directives and the
# source files are decorated for each architecture the package ships (UIEXT2_ARCHITECTURES):
# Windows installs the section of its own, and takes that architecture's DLL from the
# folder of the same name on the package's disk.
function(uiext2_write_inf_fragment path)
    set(nl "\r\n")
    set(addreg "")
    foreach(row IN LISTS UIEXT2_REGISTRATION_ROWS)
        uiext2_registration_fields("${row}" "%11%\\${UIEXT2_DLL_NAME}")
        if(name STREQUAL "" AND data STREQUAL "")
            string(APPEND addreg "HKCR,\"${key}\",,0x00000010${nl}") # FLG_ADDREG_KEYONLY
        else()
            string(APPEND addreg "HKCR,\"${key}\",\"${name}\",0x00000000,\"${data}\"${nl}")
        endif()
    endforeach()
    set(install "")
    set(sources "")
    foreach(arch IN LISTS UIEXT2_ARCHITECTURES)
        string(APPEND install "[uiext2.Install.NT${arch}]${nl}CopyFiles=uiext2.CopyFiles${nl}AddReg=uiext2.AddReg${nl}${nl}")
        string(APPEND sources "${nl}[SourceDisksFiles.${arch}]${nl}${UIEXT2_DLL_NAME}=1,${arch}${nl}")
    endforeach()
    file(WRITE ${path}
        "; ${UIEXT2_DLL_NAME} ${PROJECT_VERSION}: what a scanner driver's INF takes to install the${nl}"
        "; WIA 2.0 user-interface extension. Merge each section into the driver's INF: the${nl}"
        "; DeviceData line into the device's DeviceData section, the directives of${nl}"
        "; [uiext2.Install.NT<architecture>] into its DDInstall section of that architecture,${nl}"
        "; the other sections as they are.${nl}"
        "${nl}"
        "[uiext2.DeviceData]${nl}"
        "UI Class ID={${UIEXT2_CLSID}}${nl}"
        "${nl}"
        "${install}"
        "[uiext2.AddReg]${nl}"
        "${addreg}"
        "${nl}"
        "[uiext2.CopyFiles]${nl}"
        "${UIEXT2_DLL_NAME}${nl}"
        "${nl}"
        "[DestinationDirs]${nl}"
        "uiext2.CopyFiles=11${nl}"
        "${sources}")
endfunction()

# The .reg file: the same entries, the DLL in the system folder of a test machine whose
# Windows folder is C:\Windows.
function(uiext2_write_reg_file path)
    set(nl "\r\n")
    set(text "Windows Registry Editor Version 5.00${nl}")
    set(current "")
    foreach(row IN LISTS UIEXT2_REGISTRATION_ROWS)
        uiext2_registration_fields("${row}" "C:\\Windows\\System32\\${UIEXT2_DLL_NAME}")
        if(NOT key STREQUAL current)
            string(APPEND text "${nl}[HKEY_CLASSES_ROOT\\${key}]${nl}")
            set(current "${key}")
        endif()
        if(name STREQUAL "" AND data STREQUAL "")
            continue()
        endif()
        string(REPLACE "\\" "\\\\" data "${data}")
        string(REPLACE "\"" "\\\"" data "${data}")
        if(name STREQUAL "")
            string(APPEND text "@=\"${data}\"${nl}")
        else()
            string(APPEND text "\"${name}\"=\"${data}\"${nl}")
        endif()
    endforeach()
    file(WRITE ${path} "${text}")
endfunction()
