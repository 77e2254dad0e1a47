#!/usr/bin/env bash
# linux_built_setup.sh MKPACKAGE PROBE_STUB WINE_RUN PREFIX WORK
# A setup.exe that the native (Linux) mkpackage built from a stub carrying the
# probe runs under Wine and hands the probe the right argument file; the
# engine copy and its argument file are gone afterwards.
set -euo pipefail
mkpackage=$1 stub=$2 wine_run=$3 prefix=$4 work=$5

if [ ! -x "$mkpackage" ]; then
    echo "no native mkpackage at $mkpackage; make builds it into dist/" >&2
    exit 1
fi
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

rm -rf "$work"
mkdir -p "$work/product/content/sub"
printf 'hello\r\n' > "$work/product/content/sub/hello.txt"
cat > "$work/product/manifest.json" <<'JSON'
{"content": "content", "common": {"productName": "Linux Built", "installFolder": "%ProgramFiles%\\Linux Built"}}
JSON
"$mkpackage" -q --stub "$stub" -o "$work/setup.exe" "$work/product/manifest.json"

export SETUP_PROBE_REPORT
SETUP_PROBE_REPORT=$(winpath "$work/report.txt")
"$wine_run" "$prefix" "$work/setup.exe" -SetDir 'C:\Program Files\Linux Built' -ForceUser

# The probe names the engine copy it was started as; it must lie in the
# installer's temporary folder and be gone now.
engine=$(sed -n 's/^argv0=//p' "$work/report.txt")
case "$engine" in
    *'\vbnxoPmet\installer.exe' | *'\vbnxoPmet\installer-'[0-9]*'.exe') ;;
    *) echo "engine copy at an unexpected place: $engine"; exit 1 ;;
esac
expected=$(printf 'argc=1\nargv0=%s\nparam=%s\r\n-srcInstaller\r\n%s\r\n-SetDir\r\nC:\\Program Files\\Linux Built\r\n-ForceUser\r\n' \
    "$engine" "$engine" "$(winpath "$work/setup.exe")"; printf x)
actual=$(cat "$work/report.txt"; printf x)
if [ "$expected" != "$actual" ]; then
    echo "argument file differs"
    diff <(printf '%s' "$expected") <(printf '%s' "$actual") | cat -A
    exit 1
fi
# C:\a\b lies at PREFIX/dosdevices/c:/a/b (winepath would be emulated, and slow).
drive=$(printf '%s' "${engine:0:1}" | tr 'A-Z' 'a-z')
unix_engine="$prefix/dosdevices/$drive:$(printf '%s' "${engine:2}" | tr '\\' /)"
for leftover in "$unix_engine" "$unix_engine.param"; do
    if [ -e "$leftover" ]; then echo "left behind: $leftover"; exit 1; fi
done
echo "argument file as expected: $(wc -c < "$work/report.txt") bytes"
