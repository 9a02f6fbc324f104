#!/usr/bin/env bash
# Signs Dockvane's programs and package with Authenticode (osslsigncode), for a release:
#
#   installer/sign.sh --cert CERT.pem --key KEY.pem [--pass-file FILE] [--timestamp URL] [--build-dir DIR] [--out DIR]
#
# CERT.pem is the release manager's code-signing certificate (with its chain, PEM), KEY.pem its private
# key (PEM; encrypted keys take their pass phrase from --pass-file). Neither is ever committed. The
# script signs copies of Dockvane.exe, DockvaneService.exe, dockvane-cli.exe and DockvaneCleanup.exe
# from the windows build (default build/windows), packages them into a Dockvane.msi of their own (the
# installer signature covers the signed programs inside) and signs that package; all of them go to
# --out (default build/windows/signed),
# each checked with `osslsigncode verify` against the certificate. --timestamp adds an RFC 3161 time
# stamp from that server (needs the network), so that the signatures outlive the certificate.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build="$here/../build/windows"
cert="" key="" pass_file="" timestamp="" out=""
while (($#)); do
    case "$1" in
        --cert) cert=$2 ;;
        --key) key=$2 ;;
        --pass-file) pass_file=$2 ;;
        --timestamp) timestamp=$2 ;;
        --build-dir) build=$2 ;;
        --out) out=$2 ;;
        *) echo "unknown option $1" >&2; exit 2 ;;
    esac
    shift 2
done
[ -n "$cert" ] && [ -n "$key" ] || { echo "usage: $0 --cert CERT.pem --key KEY.pem [--pass-file FILE] [--timestamp URL] [--build-dir DIR] [--out DIR]" >&2; exit 2; }
out=${out:-$build/signed}
mkdir -p "$out"

sign() {  # sign IN OUT DESCRIPTION
    local options=(-certs "$cert" -key "$key" -h sha256 -n "$3" -i https://www.dockvane.com)
    [ -n "$pass_file" ] && options+=(-readpass "$pass_file")
    [ -n "$timestamp" ] && options+=(-ts "$timestamp")
    rm -f "$2"
    osslsigncode sign "${options[@]}" -in "$1" -out "$2" >/dev/null
    osslsigncode verify -CAfile "$cert" -in "$2" >/dev/null
    echo "signed: $2"
}

sign "$build/src/Dockvane.exe" "$out/Dockvane.exe" "Dockvane"
sign "$build/src/DockvaneService.exe" "$out/DockvaneService.exe" "Dockvane"
sign "$build/tools/cli/dockvane-cli.exe" "$out/dockvane-cli.exe" "Dockvane"
sign "$build/installer/DockvaneCleanup.exe" "$out/DockvaneCleanup.exe" "Dockvane"
# The package's own custom action is carried inside it and is signed with it.
sign "$build/installer/DockvaneSetup.dll" "$out/DockvaneSetup.dll" "Dockvane"
python3 "$here/make_msi.py" --exe "$out/Dockvane.exe" --service "$out/DockvaneService.exe" \
    --cli "$out/dockvane-cli.exe" --cleanup "$out/DockvaneCleanup.exe" \
    --setup-dll "$out/DockvaneSetup.dll" --icon "$build/src/resources/generated/app.ico" \
    --output "$out/Dockvane.unsigned.msi" >/dev/null
sign "$out/Dockvane.unsigned.msi" "$out/Dockvane.msi" "Dockvane"
rm -f "$out/Dockvane.unsigned.msi" "$out/DockvaneSetup.dll"
