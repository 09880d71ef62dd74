#!/usr/bin/env bash
# Installs the build and test tools on a Debian 12 machine. Idempotent: each package is
# installed only when missing, so a warm machine pays nothing.
set -euo pipefail

need=()
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

# Both Windows toolchains and both Wine loaders: the i386 build is what we ship and is built
# on every host; the x86-64 build and wine64 run the tests where the kernel refuses 32-bit
# programs (scripts/arch.sh), and with KOV_ARCH=win64 anywhere. libz-mingw-w64-dev holds
# zlib for both.
pkgs=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools libz-mingw-w64-dev wine wine32:i386
      wine64 xvfb xauth
      x11-apps imagemagick fonts-wine cmake googletest zlib1g-dev clang libfuzzer-14-dev
      libclang-rt-14-dev clang-format libdeflate-dev nsis strace zip unzip file python3 xdotool ghostscript
      time)

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
for p in "${pkgs[@]}"; do have_pkg "$p" || need+=("$p"); done

if [ ${#need[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
