#!/usr/bin/env bash
# platforms_agree.sh NATIVE_MKPACKAGE WINDOWS_MKPACKAGE STUB WINE_RUN PREFIX MANIFEST WORK
# The Linux mkpackage and the Windows mkpackage.exe (under Wine) write the
# same bytes for the same manifest: package and setup.exe alike, Japanese
# texts (iconv on Linux, the system's code page tables on Windows) included.
set -euo pipefail
native=$1 windows=$2 stub=$3 wine_run=$4 prefix=$5 manifest=$6 work=$7

if [ ! -x "$native" ]; then
    echo "no native mkpackage at $native; make builds it into dist/" >&2
    exit 1
fi
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

rm -rf "$work"
mkdir -p "$work"
"$native" -q --stub "$stub" -o "$work/linux.exe" -p "$work/linux.pkg" "$manifest"
"$wine_run" "$prefix" "$windows" -q --stub "$(winpath "$stub")" -o "$(winpath "$work/windows.exe")" \
    -p "$(winpath "$work/windows.pkg")" "$(winpath "$manifest")"
cmp "$work/linux.pkg" "$work/windows.pkg"
cmp "$work/linux.exe" "$work/windows.exe"
echo "identical: package $(wc -c < "$work/linux.pkg") bytes, setup.exe $(wc -c < "$work/linux.exe") bytes"
