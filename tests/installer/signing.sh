#!/usr/bin/env bash
# The signing recipe with a throw-away self-signed certificate made here: installer/sign.sh must give
# every shipped program and Dockvane.msi signatures that `osslsigncode verify` accepts, and
# a signed file changed afterwards must fail the check.
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

openssl req -x509 -newkey rsa:2048 -sha256 -days 2 -nodes -subj "/CN=Dockvane test signing" \
    -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
"$here/../../installer/sign.sh" --cert "$work/cert.pem" --key "$work/key.pem" --build-dir "$build" --out "$work/signed"

failed=0
for file in Dockvane.exe DockvaneService.exe dockvane-cli.exe DockvaneCleanup.exe Dockvane.msi; do
    if osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed/$file" >"$work/verify.txt" 2>&1; then
        echo "ok: $file carries a valid signature by $(grep -m1 -o 'CN=Dockvane test signing' "$work/verify.txt")"
    else
        echo "FAILED: $file: signature not accepted"; cat "$work/verify.txt"; failed=1
    fi
done
# A byte changed inside the signed program: the check must notice.
cp "$work/signed/Dockvane.exe" "$work/changed.exe"
printf 'X' | dd of="$work/changed.exe" bs=1 seek=1024 conv=notrunc 2>/dev/null
if osslsigncode verify -CAfile "$work/cert.pem" -in "$work/changed.exe" >/dev/null 2>&1; then
    echo "FAILED: a changed Dockvane.exe still passes the check"; failed=1
else
    echo "ok: a changed Dockvane.exe fails the check"
fi
exit $failed
