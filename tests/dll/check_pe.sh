#!/bin/sh
# Checks that a DLL imports only system DLLs and exports exactly the four COM server functions.
# usage: check_pe.sh OBJDUMP DLL
set -eu
objdump=$1
dll=$2
dump=$("$objdump" -p "$dll")

imports=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
echo "imports:"; printf '  %s\n' $imports
status=0
for name in $imports; do
    case "$name" in
        ntdll.dll|kernel32.dll|user32.dll|gdi32.dll|advapi32.dll|ole32.dll|oleaut32.dll|shell32.dll|shlwapi.dll|comctl32.dll|msvcrt.dll|api-ms-win-*.dll) ;;
        *) echo "not a system DLL: $name"; status=1 ;;
    esac
done

# GNU objdump lists the export table's "[Ordinal/Name Pointer] Table" rows as "[   n] Name";
# llvm-objdump (the ARM64 build's, GNU objdump has no ARM64 PE) as "n  0xRVA  Name".
exports=$( (printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p'
            printf '%s\n' "$dump" | sed -n '/^Export Table:/,/^$/p' | sed -n 's/^[[:space:]]*[0-9][0-9]*[[:space:]]*0x[0-9a-f]*[[:space:]]*//p') | sort)
echo "exports:"; printf '  %s\n' $exports
expected=$(printf '%s\n' DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer)
if [ "$exports" != "$expected" ]; then
    echo "exports differ from the four COM server functions"
    status=1
fi
exit $status
