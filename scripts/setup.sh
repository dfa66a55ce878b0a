#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian machine. Safe to run again: it
# installs only what is missing.
#
# The shipped program is 32-bit. Where this machine runs 32-bit code, Wine's 32-bit loader
# (wine32:i386, with the i386 architecture added to dpkg) runs it beside the 64-bit prefix, as
# 64-bit Windows runs a 32-bit program: the WOW6432Node registry view, SysWOW64. Where it runs
# none, the 32-bit parts are skipped and say why. Then the Inno Setup compiler, for the installer
# examples' tests (scripts/innosetup.sh); makensis (nsis) and wixl build the other two.
# osslsigncode signs (scripts/sign.sh), through the PKCS#11 engine for OpenSSL for a key on a
# token; the signing checks' token is SoftHSM2's.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake make locales g++-mingw-w64-i686 g++-mingw-w64-x86-64
          binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 wine wine64 xvfb xauth x11-utils
          googletest imagemagick clang-format nsis wixl ca-certificates
          openssl osslsigncode libengine-pkcs11-openssl softhsm2)
# What the probes of scripts/compat32.sh are built with: as and ld, and a C compiler with the C
# library's headers. A minimal machine has none of them.
readonly probe_packages=(binutils gcc libc6-dev)
sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
apt_updated=0

# apt_retry ARGUMENT...: apt-get, tried up to three times. A mirror caught mid-sync serves an
# index of the wrong size for a minute or so ("Mirror sync in progress?"), and apt-get update then
# fails; it usually passes once the mirror has finished.
apt_retry() {
  local try
  for try in 1 2 3; do
    $sudo_cmd apt-get "$@" && return 0
    [ "$try" = 3 ] || { echo "apt-get $1 failed; trying again in 30 s"; sleep 30; }
  done
  return 1
}

# install_missing PACKAGE...: those of the packages that dpkg does not have, installed.
install_missing() {
  local p absent=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || absent+=("$p")
  done
  [ ${#absent[@]} -gt 0 ] || return 0
  echo "Installing: ${absent[*]}"
  if [ "$apt_updated" = 0 ]; then
    # An index that stays unreadable (a mirror serving a stale file) fails the update, but
    # apt keeps the lists it did read; the install below then tells whether they are enough.
    apt_retry update -q ||
      echo "setup: apt-get update failed three times; installing from the package lists apt has"
    apt_updated=1
  fi
  DEBIAN_FRONTEND=noninteractive apt_retry install -y -q --no-install-recommends "${absent[@]}"
}

install_missing "${probe_packages[@]}"
. scripts/compat32.sh
# A probe that cannot be built ends the set-up here, with one line (compat32_check).
i386_for=""
if compat32_check; then
  packages+=(wine32:i386)
  i386_for="Wine's 32-bit loader"
else
  echo "Wine's 32-bit loader not installed: $COMPAT32_REASON"
fi
# The Visual Studio-style builds (scripts/build-msvc.sh) need LLVM 19's clang-cl, lld-link and
# llvm-rc and Wine 10's SDK, which Debian 13 has (Debian 12's clang 14 cannot read the headers).
# The 32-bit SDK's import libraries are files to link with, not code that runs here: they come
# with the i386 architecture whether or not this machine runs 32-bit code.
debian_release=$(. /etc/os-release && [ "${ID:-}" = debian ] && echo "${VERSION_ID:-0}" || echo 0)
if [ "$debian_release" -ge 13 ]; then
  packages+=(clang lld llvm libwine-dev libwine-dev:i386)
  i386_for=${i386_for:-"Wine's 32-bit SDK"}
fi
if [ -n "$i386_for" ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "Adding the i386 architecture to dpkg, for $i386_for"
  $sudo_cmd dpkg --add-architecture i386
  apt_updated=0
fi
# A machine with Node.js from elsewhere has its own npm, which Debian's npm would conflict with.
command -v npm >/dev/null || packages+=(npm)
install_missing "${packages[@]}"

# The string tests run a second time under the double-byte code page 932, which Wine takes from
# a Japanese locale: that locale must exist, or Wine quietly falls back to 1252.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  echo "Generating the locale ja_JP.UTF-8"
  $sudo_cmd localedef -i ja_JP -c -f UTF-8 ja_JP.UTF-8
fi

scripts/innosetup.sh
