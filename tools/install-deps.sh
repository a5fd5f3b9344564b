#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; does nothing when all are present.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev
  zlib1g-dev rapidjson-dev libgtest-dev libgmock-dev googletest
  libpoppler-glib-dev libcairo2-dev libfontconfig-dev pkg-config
  # GDI+ in winsim draws with Cairo; "Arial" resolves to Liberation Sans through fontconfig, and so do
  # the dialogs' shell font; the Chinese and Korean texts of the dialogs are measured and drawn with a
  # CJK face (the smallest that has both Han and Hangul)
  fonts-liberation fonts-wqy-microhei
  libpng-dev libjpeg62-turbo-dev
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686 libz-mingw-w64-dev
  # Wine runs the Windows binaries only inside 'unshare --net' (util-linux) with loopback up (iproute2)
  wine64 util-linux iproute2
  # the property-sheet check of the Windows build shows its windows on a virtual display
  xvfb
  # release signing of the Windows binaries (Authenticode), checked with a throw-away certificate made by
  # openssl; xmllint reads the binaries' manifests
  osslsigncode openssl libxml2-utils
  # cpack -G DEB: dpkg-shlibdeps finds the packages of the libraries lbl links, 'file' tells it which
  # installed files are programs and libraries
  dpkg-dev file
  # lbl serve is a PAPPL printer application; CUPS' ipptool runs the IPP conformance checks on it
  libpappl-dev cups-ipp-utils
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
