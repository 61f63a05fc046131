#!/bin/sh
# SPDX-License-Identifier: MIT
# Writes the .def file of the registry stand-in DLL: its five registry
# functions, and every other export of Wine's advapi32.dll ($2) forwarded to
# that DLL under the name advapi3w.dll. $1 is objdump, $3 the output.
set -e
# objdump translates its headings; the table is found by its English one.
export LC_ALL=C
own='RegLoadKeyA:12 RegOpenKeyExA:20 RegCloseKey:4 RegSaveKeyA:12 RegUnLoadKeyA:8'
{
  echo 'LIBRARY advapi32.dll'
  echo 'EXPORTS'
  for f in $own; do echo "  ${f%%:*} = stub_${f%%:*}@${f#*:}"; done
  "$1" -p "$2" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | tail -n +2 |
    awk 'NF {print $NF}' | grep -vxE 'RegLoadKeyA|RegOpenKeyExA|RegCloseKey|RegSaveKeyA|RegUnLoadKeyA' |
    sed 's/.*/  & = advapi3w.&/'
} >"$3.tmp"
mv "$3.tmp" "$3"
