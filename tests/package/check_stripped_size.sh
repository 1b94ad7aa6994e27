#!/bin/sh
# The shipped DLL is stripped (its symbols live in the PDB) and stays under its size limit
# with the About page's logo in it. A DLL that does not carry the logo (bitmap 2002) yet is
# charged the logo's size, so that code which would leave no room for it fails here rather
# than after the pages are merged.
# usage: check_stripped_size.sh READOBJ DLL LIMIT_BYTES LOGO_BYTES
set -eu
readobj=$1
dll=$2
limit=$3
logo=$4

debug=$("$readobj" --sections "$dll" | sed -n 's/^ *Name: \(\.debug[^ ]*\).*/\1/p' | tr '\n' ' ')
if [ -n "$debug" ]; then
    echo "$dll is not stripped: $debug"
    exit 1
fi

size=$(wc -c < "$dll")
# In the resource tree a bitmap is type ID 2 and the logo its name ID 2002.
if "$readobj" --coff-resources "$dll" | awk '/Type: /{bitmap = /\(ID 2\)/} bitmap && /Name: \(ID 2002\)/{found = 1} END{exit !found}'; then
    charged=0
else
    charged=$logo
fi
total=$((size + charged))
echo "$dll: $size bytes, $charged charged for a logo it lacks: $total of $limit"
[ "$total" -lt "$limit" ]
