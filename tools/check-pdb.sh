#!/bin/sh
# The DLL's debug directory names its PDB by file name only (no build machine path) and
# carries the PDB's GUID and age: the pair a debugger requires before it uses the PDB.
# usage: check-pdb.sh READOBJ PDBUTIL DLL PDB
set -eu
readobj=$1
pdbutil=$2
dll=$3
pdb=$4

dir=$("$readobj" --coff-debug-directory "$dll")
name=$(printf '%s\n' "$dir" | sed -n 's/^ *PDBFileName: //p')
age=$(printf '%s\n' "$dir" | sed -n 's/^ *PDBAge: //p')
# PDBGUID: (b0 b1 ... b15) holds the GUID's fields in the order of the PE file:
# Data1..Data3 little-endian, then Data4 as it is.
set -- $(printf '%s\n' "$dir" | sed -n 's/^ *PDBGUID: (\(.*\))$/\1/p')
[ "$#" -eq 16 ] || { echo "no CodeView PDB record in $dll"; exit 1; }
guid="{$4$3$2$1-$6$5-$8$7-$9${10}-${11}${12}${13}${14}${15}${16}}"

summary=$("$pdbutil" dump --summary "$pdb")
pdb_guid=$(printf '%s\n' "$summary" | sed -n 's/^ *GUID: //p')
pdb_age=$(printf '%s\n' "$summary" | sed -n 's/^ *Age: //p')

echo "debug directory: $name $guid age $age"
echo "PDB:             $(basename "$pdb") $pdb_guid age $pdb_age"
status=0
[ "$name" = "$(basename "$pdb")" ] || { echo "the debug directory names $name"; status=1; }
[ "$guid" = "$pdb_guid" ] || { echo "GUIDs differ"; status=1; }
[ "$age" = "$pdb_age" ] || { echo "ages differ"; status=1; }
exit $status
