#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian machine. Safe to run again: it
# installs only what is missing.
#
# The shipped program is 32-bit. Wine's 64-bit loader runs it in its WoW64 mode once the 32-bit
# Windows-side DLLs are on WINEDLLPATH: they come from the libwine:i386 package, downloaded (not
# installed) with an apt state of our own and unpacked under build/wow64, so that no
# architecture is added to dpkg and nothing 32-bit is installed system-wide. Cached: a second
# run downloads nothing. Skipped on a machine that cannot run 32-bit code at all.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake make gcc locales g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686
          binutils-mingw-w64-x86-64 wine wine64 xvfb xauth x11-utils googletest imagemagick
          clang-format)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $sudo_cmd apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The string tests run a second time under the double-byte code page 932, which Wine takes from
# a Japanese locale: that locale must exist, or Wine quietly falls back to 1252.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  echo "Generating the locale ja_JP.UTF-8"
  $sudo_cmd localedef -i ja_JP -c -f UTF-8 ja_JP.UTF-8
fi

. scripts/wow64.sh
if ! reason=$(wow64_runs_32bit_code); then
  echo "WoW64 set-up skipped: $reason"
  exit 0
fi
if [ ! -e "$WOW64_DIR/root/usr/lib/i386-linux-gnu/wine/i386-windows/ntdll.dll" ]; then
  echo "Downloading Wine's 32-bit Windows DLLs (libwine:i386, about 95 MB) into $WOW64_DIR"
  mkdir -p "$WOW64_DIR/apt/lists/partial"
  # A state of our own: the machine's package lists, caches and architectures stay as they are.
  opts=(-q -o APT::Architectures::=amd64 -o APT::Architectures::=i386
        -o "Dir::State::Lists=$WOW64_DIR/apt/lists" -o Dir::Cache::pkgcache=
        -o Dir::Cache::srcpkgcache=)
  apt-get "${opts[@]}" update >"$WOW64_DIR/apt/update.log" 2>&1
  rm -f "$WOW64_DIR"/apt/libwine_*_i386.deb
  (cd "$WOW64_DIR/apt" && apt-get "${opts[@]}" download libwine:i386 >download.log 2>&1)
  rm -rf "$WOW64_DIR/root"
  dpkg-deb -x "$WOW64_DIR"/apt/libwine_*_i386.deb "$WOW64_DIR/root"
fi
# The 32-bit DLLs call into the 64-bit Unix side, which wine64 itself brings.
ln -sfn /usr/lib/x86_64-linux-gnu/wine/x86_64-unix "$WOW64_DIR/root/usr/lib/i386-linux-gnu/wine/x86_64-unix"
