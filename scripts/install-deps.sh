#!/usr/bin/env bash
# Installs with apt what a fresh Debian 12 machine lacks for building and running Dockvane.
set -euo pipefail
packages=(cmake make g++ python3 googletest libgtest-dev libbenchmark-dev libssl-dev nlohmann-json3-dev
          g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
          wine wine64 xvfb xauth x11-utils xdotool imagemagick clang-format-14
          wixl msitools osslsigncode openssl)
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
((${#missing[@]})) || exit 0
echo "== installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
