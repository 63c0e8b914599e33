#!/usr/bin/env bash
# Checks the shipped program: a 32-bit GUI executable for Intel 80386 that imports
# only from Windows' own DLLs (everything else is linked in statically).
set -euo pipefail
exe=$1
description=$(file -b "$exe")
echo "$exe: $description"
case "$description" in
    "PE32 executable (GUI) Intel 80386"*) ;;
    *) echo "check_product: not a 32-bit GUI executable for Intel 80386" >&2; exit 1 ;;
esac
imports=$(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^\tDLL Name: //p' | sort -u)
echo "imports:" $imports
allowed='^(KERNEL32|USER32|GDI32|COMCTL32|NETAPI32|WSOCK32|ADVAPI32|msvcrt)\.dll$'
unexpected=$(echo "$imports" | grep -viE "$allowed" || true)
if [ -n "$unexpected" ]; then
    echo "check_product: imports from DLLs that are not Windows' own: $unexpected" >&2
    exit 1
fi
