#!/usr/bin/env bash
# signed_setup.sh MKPACKAGE STUB WINE_RUN PREFIX CHECK WORK
# The Linux mkpackage signs the engine and setup.exe with osslsigncode and a
# certificate made here by openssl; both signatures verify, and under Wine
# the signed setup.exe carries the signed engine and installs its product.
set -euo pipefail
mkpackage=$1 stub=$2 wine_run=$3 prefix=$4 check=$5 work=$6

if [ ! -x "$mkpackage" ]; then
    echo "no native mkpackage at $mkpackage; make builds it into dist/" >&2
    exit 1
fi
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

rm -rf "$work"
mkdir -p "$work/signer" "$work/product/content" "$work/installed"
(cd "$work/signer" && openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 \
    -subj '/CN=Setup Engine Test Signer' -addext extendedKeyUsage=codeSigning 2>/dev/null)
# Signs in place, as --sign-command wants, and keeps a copy of each signed file.
cat > "$work/signer/sign.sh" <<'SH'
#!/bin/sh
set -e
dir=$(dirname "$0")
osslsigncode sign -certs "$dir/cert.pem" -key "$dir/key.pem" -n 'Signed Setup Test' -in "$1" -out "$1.signed" >/dev/null
mv "$1.signed" "$1"
n=$(ls "$dir" | grep -c '^signed-' || true)
cp "$1" "$dir/signed-$n.exe"
SH
chmod +x "$work/signer/sign.sh"
printf 'signed app\r\n' > "$work/product/content/app.txt"
cat > "$work/product/manifest.json" <<'JSON'
{"content": "content", "publisher": "Setup Engine Tests",
 "common": {"productName": "Signed Setup Test", "okIfNotAdmin": true}}
JSON
"$mkpackage" -q --sign-command "$work/signer/sign.sh {}" --stub "$stub" -o "$work/out/setup.exe" \
    "$work/product/manifest.json"

# signed-0.exe is the engine, signed-1.exe setup.exe as signed before its rename.
for file in "$work/out/setup.exe" "$work/signer/signed-0.exe"; do
    if ! osslsigncode verify -CAfile "$work/signer/cert.pem" -in "$file" > "$work/verify.txt" 2>&1 ||
        ! grep -q 'Signature verification: ok' "$work/verify.txt"; then
        echo "signature of $file does not verify:"; cat "$work/verify.txt"; exit 1
    fi
done
cmp "$work/out/setup.exe" "$work/signer/signed-1.exe"
echo "both signatures verify"
"$wine_run" "$prefix" "$check" "$(winpath "$work/out/setup.exe")" "$(winpath "$work/signer/signed-0.exe")" \
    "$(winpath "$work/installed")"
