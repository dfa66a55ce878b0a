#!/usr/bin/env bash
# Fetches the Inno Setup 6 compiler for the Inno installer example's test, once: the npm package
# innosetup-compiler (ISCC.exe and the files it needs, in package/bin) packed by npm into
# build/innosetup and unpacked there. The tarball must have the SHA-512 written below, or nothing
# is unpacked. ISCC.exe and the setups it makes are 32-bit programs: fetched only where this
# machine runs 32-bit code. Run by scripts/setup.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

readonly PACKAGE=innosetup-compiler@6.3.1
readonly TARBALL=innosetup-compiler-6.3.1.tgz
# As npm gives it (`npm view innosetup-compiler@6.3.1 dist.integrity`): base64 of the SHA-512.
readonly INTEGRITY=sha512-Qynw7Xjv7ZN/beBvS7Kt+QL50Q/Zbf7cJDHZmxmwNbxqgZEWCZ+5tggC6naF4ij/9PqRfpvDP1ecZLFwusu6Lw==
readonly DIR=build/innosetup
# Holds the integrity of the tarball that was checked and unpacked.
readonly STAMP=$DIR/unpacked

. scripts/compat32.sh
if ! compat32_check; then
  echo "Inno Setup compiler not fetched: $COMPAT32_REASON"
  exit 0
fi
if [ -f "$DIR/package/bin/ISCC.exe" ] && [ "$(cat "$STAMP" 2>/dev/null)" = "$INTEGRITY" ]; then
  exit 0
fi

echo "Fetching the Inno Setup compiler ($PACKAGE) into $DIR"
rm -rf "$DIR"
mkdir -p "$DIR"
npm pack "$PACKAGE" --pack-destination "$DIR" --silent >/dev/null
expected=$(printf '%s' "${INTEGRITY#sha512-}" | base64 -d | od -An -v -tx1 | tr -d ' \n')
actual=$(sha512sum "$DIR/$TARBALL" | cut -d' ' -f1)
if [ "$actual" != "$expected" ]; then
  echo "innosetup.sh: $TARBALL has SHA-512 $actual, expected $expected: not unpacked" >&2
  rm -f "$DIR/$TARBALL"
  exit 1
fi
tar -xzf "$DIR/$TARBALL" -C "$DIR"
printf '%s\n' "$INTEGRITY" >"$STAMP"
