# Writes the registration a driver package takes, from one table, in the forms it ships in:
# an INF fragment (for the driver's INF), a whole example INF of a USB WIA scanner with the
# fragment merged in (where a vendor starts), and a .reg file (for a test machine).

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

# The fragment's sections, as INF text: its install sections in `install`, the sections
# they name and the lines for the INF's common sections in `body`. The DLL runs from the
# driver store (DIRID 13): each architecture's copy section puts it in the package's folder
# of that architecture's name (13,amd64), the folder its source entry names, since a file
# run from the driver store keeps its source subfolder; and the registry section of that
# architecture names it there (%13%\amd64\uiext2.dll). HKCR is written only under our own
# class. The install directives and the source files are decorated for each architecture
# the package ships (UIEXT2_ARCHITECTURES): Windows installs the sections of its own.
function(uiext2_inf_fragment_sections)
    set(nl "\r\n")
    set(install "")
    set(addreg "")
    set(copy "")
    set(dirs "")
    set(sources "")
    foreach(arch IN LISTS UIEXT2_ARCHITECTURES)
        string(APPEND install "[uiext2.Install.NT${arch}]${nl}CopyFiles=uiext2.CopyFiles.${arch}${nl}"
                              "AddReg=uiext2.AddReg.${arch}${nl}${nl}")
        string(APPEND addreg "[uiext2.AddReg.${arch}]${nl}")
        foreach(row IN LISTS UIEXT2_REGISTRATION_ROWS)
            uiext2_registration_fields("${row}" "%13%\\${arch}\\${UIEXT2_DLL_NAME}")
            if(name STREQUAL "" AND data STREQUAL "")
                string(APPEND addreg "HKCR,\"${key}\",,0x00000010${nl}") # FLG_ADDREG_KEYONLY
            else()
                string(APPEND addreg "HKCR,\"${key}\",\"${name}\",0x00000000,\"${data}\"${nl}")
            endif()
        endforeach()
        string(APPEND addreg "${nl}")
        string(APPEND copy "[uiext2.CopyFiles.${arch}]${nl}${UIEXT2_DLL_NAME}${nl}${nl}")
        string(APPEND dirs "uiext2.CopyFiles.${arch}=13,${arch}${nl}")
        string(APPEND sources "[SourceDisksFiles.${arch}]${nl}${UIEXT2_DLL_NAME}=1,${arch}${nl}${nl}")
    endforeach()
    set(install "${install}" PARENT_SCOPE)
    set(body "${addreg}${copy}[DestinationDirs]${nl}${dirs}${nl}${sources}" PARENT_SCOPE)
endfunction()

# The INF fragment: the DeviceData line, the install directives of each architecture and the
# sections they name.
function(uiext2_write_inf_fragment path)
    set(nl "\r\n")
    uiext2_inf_fragment_sections()
    file(WRITE ${path}
        "; ${UIEXT2_DLL_NAME} ${PROJECT_VERSION}: what a scanner driver's INF takes to install the${nl}"
        "; WIA 2.0 user-interface extension. Merge each section into the driver's INF: the${nl}"
        "; DeviceData line into the device's DeviceData section, the directives of${nl}"
        "; [uiext2.Install.NT<architecture>] into its DDInstall section of that architecture,${nl}"
        "; the lines of [DestinationDirs] and [SourceDisksFiles.<architecture>] into its sections${nl}"
        "; of those names, the other sections as they are. uiext2-example.inf shows the result.${nl}"
        "${nl}"
        "[uiext2.DeviceData]${nl}"
        "UI Class ID={${UIEXT2_CLSID}}${nl}"
        "${nl}"
        "${install}${body}")
endfunction()

# A whole INF of a USB WIA scanner with the fragment merged in, as SHIPPING.md says to merge
# it: the scanner's DDInstall sections of each architecture take the fragment's directives,
# its DeviceData section the UI Class ID line, and the fragment's other sections follow as
# they are. The scanner's own WIA driver is a comment block for the vendor to fill in; the
# rules it follows are in SHIPPING.md, and tools/check-inf.cmake checks them.
function(uiext2_write_example_inf path)
    set(nl "\r\n")
    uiext2_inf_fragment_sections() # its install directives go into the scanner's sections
    string(TIMESTAMP date "%m/%d/%Y" UTC) # SOURCE_DATE_EPOCH makes it reproducible
    string(REGEX MATCHALL "[0-9]+" numbers "${PROJECT_VERSION}.0.0.0")
    list(SUBLIST numbers 0 4 numbers)
    string(JOIN "." version ${numbers})
    set(manufacturer "%Manufacturer%=Scanner")
    set(models "")
    set(ddinstall "")
    foreach(arch IN LISTS UIEXT2_ARCHITECTURES)
        string(APPEND manufacturer ",NT${arch}")
        string(APPEND models "[Scanner.NT${arch}]${nl}%Scanner.DeviceDesc%=Scanner.Install,USB\\VID_FFFF&PID_0001${nl}${nl}")
        string(APPEND ddinstall
            "[Scanner.Install.NT${arch}]${nl}"
            "Include=sti.inf${nl}"
            "Needs=STI.USBSection${nl}"
            "SubClass=StillImage${nl}"
            "DeviceType=1${nl}"
            "Capabilities=0x31${nl}"
            "Events=Scanner.Events${nl}"
            "DeviceData=Scanner.DeviceData${nl}"
            "; The scanner's own WIA driver goes here: its CopyFiles (to 13,${arch} as well) and${nl}"
            "; its AddReg section (HKR: HardwareConfig, USDClass, CLSID), beside the extension's.${nl}"
            "CopyFiles=uiext2.CopyFiles.${arch}${nl}"
            "AddReg=uiext2.AddReg.${arch}${nl}${nl}"
            "[Scanner.Install.NT${arch}.Services]${nl}"
            "Include=sti.inf${nl}"
            "Needs=STI.USBSection.Services${nl}${nl}")
    endforeach()
    file(WRITE ${path}
        "; uiext2-example.inf: a USB WIA scanner's driver package with ${UIEXT2_DLL_NAME} ${PROJECT_VERSION}${nl}"
        "; merged in, every file run from the driver store. Replace the hardware ID, the names in${nl}"
        "; [Strings] and the catalog's name, and add the scanner's own WIA driver where the${nl}"
        "; comments say. Lay the package out as the release archive is: this INF beside the${nl}"
        "; folders amd64 and arm64.${nl}"
        "${nl}"
        "[Version]${nl}"
        "Signature=\"$Windows NT$\"${nl}"
        "Class=Image${nl}"
        "ClassGuid={6BDD1FC6-810F-11D0-BEC7-08002BE2092F}${nl}"
        "Provider=%Provider%${nl}"
        "CatalogFile=uiext2-example.cat${nl}"
        "DriverVer=${date},${version}${nl}"
        "PnpLockdown=1${nl}"
        "${nl}"
        "[Manufacturer]${nl}${manufacturer}${nl}${nl}"
        "${models}"
        "${ddinstall}"
        "[Scanner.DeviceData]${nl}"
        "Server=local${nl}"
        "UI Class ID={${UIEXT2_CLSID}}${nl}"
        "; The scanner's own DeviceData entries go here (MicroDriver, TwainDS, ICMProfiles).${nl}"
        "${nl}"
        "[Scanner.Events]${nl}"
        "ScanButton=%ScanButton%,{A6C5A715-8C6E-11D2-977A-0000F87A926F},*${nl}"
        "${nl}"
        "${body}"
        "[SourceDisksNames]${nl}"
        "1=%DiskName%${nl}"
        "${nl}"
        "[Strings]${nl}"
        "Provider=\"${UIEXT2_COMPANY}\"${nl}"
        "Manufacturer=\"${UIEXT2_COMPANY}\"${nl}"
        "Scanner.DeviceDesc=\"${UIEXT2_COMPANY} USB document scanner\"${nl}"
        "ScanButton=\"Scan button\"${nl}"
        "DiskName=\"${UIEXT2_COMPANY} scanner driver package\"${nl}")
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
