#!/usr/bin/env bash
# Signs programs (PE files) and Windows Installer packages in place with an Authenticode
# signature (SHA-256), through Debian's osslsigncode, and verifies each signed file:
#
#   scripts/sign.sh --pfx CERT.pfx [--password-file FILE] [--timestamp URL] FILE...
#   scripts/sign.sh --pkcs11-module MODULE.so --key "pkcs11:..." --cert CERT.pem
#                   [--password-file FILE] [--timestamp URL] FILE...
#
# --pfx: the certificate and its key in a PKCS#12 file; --password-file holds its password
# (none: an empty one). --pkcs11-module, --key, --cert: a key that never leaves its token (a
# hardware token or a cloud key store's PKCS#11 module), the key named by its PKCS#11 URI, the
# certificate (and the chain up to its root, if not a publicly trusted one) in a PEM file;
# --password-file then holds the token's PIN, unless the URI carries it. --timestamp: an RFC 3161
# time-stamp server, whose counter-signature keeps the signature valid after the certificate
# expires; a release should always have one.
#
# A FILE is signed into a new file beside it, which replaces it only once its signature
# verifies: on any failure every FILE is left exactly as it was, and the one line printed says
# why. Signing a signed file replaces its signature. The verification checks that the signature
# is whole and matches the file, against the certificates the key came with and the system's
# roots; whether Windows trusts the certificate is for Windows to say. Installs nothing:
# scripts/setup.sh installs osslsigncode (and the PKCS#11 engine for OpenSSL that token signing
# goes through).
set -euo pipefail

readonly SYSTEM_ROOTS=/etc/ssl/certs/ca-certificates.crt
# A compound file's signature: a Windows Installer package is one.
readonly COMPOUND_FILE_MAGIC="d0 cf 11 e0 a1 b1 1a e1"

fail() {
  echo "sign.sh: $*" >&2
  exit 1
}
usage() {
  sed -n '5,7p' "$0" | sed -e '1s/^# */usage: /' -e '2,$s/^#//' >&2
  exit 2
}

pfx="" password_file="" timestamp="" module="" key="" cert=""
files=()
while [ $# -gt 0 ]; do
  case $1 in
  --pfx | --password-file | --timestamp | --pkcs11-module | --key | --cert)
    [ $# -ge 2 ] || fail "$1 needs a value"
    case $1 in
    --pfx) pfx=$2 ;;
    --password-file) password_file=$2 ;;
    --timestamp) timestamp=$2 ;;
    --pkcs11-module) module=$2 ;;
    --key) key=$2 ;;
    --cert) cert=$2 ;;
    esac
    shift 2
    ;;
  --help | -h) usage ;;
  --) shift; files+=("$@"); break ;;
  -*) fail "unknown option $1" ;;
  *) files+=("$1"); shift ;;
  esac
done
[ ${#files[@]} -gt 0 ] || usage
if [ -n "$pfx" ]; then
  [ -z "$module$key$cert" ] || fail "--pfx and a token's --pkcs11-module, --key, --cert exclude each other"
else
  [ -n "$module" ] && [ -n "$key" ] && [ -n "$cert" ] ||
    fail "give either --pfx CERT.pfx, or --pkcs11-module, --key and --cert together"
fi
command -v osslsigncode >/dev/null || fail "osslsigncode not found (scripts/setup.sh installs it)"
command -v openssl >/dev/null || fail "openssl not found (scripts/setup.sh installs it)"

# readable WHAT FILE: fails unless FILE is a file that can be read.
readable() {
  [ -f "$2" ] && [ -r "$2" ] && head -c 1 "$2" >/dev/null 2>&1 || fail "cannot read the $1 \"$2\""
}
# kind FILE: "program" or "package", or fails: osslsigncode signs more kinds than these two, and
# a file of another kind is a mistake here.
kind() {
  local file=$1 offset
  readable "file to sign" "$file"
  if [ "$(head -c 2 "$file")" = MZ ]; then
    # The PE header's offset is at 0x3c.
    offset=$(od -An -tu4 -j60 -N4 "$file" | tr -d ' ')
    if [ -n "$offset" ] && [ "$(od -An -c -j"$offset" -N4 "$file" | tr -d ' ')" = 'PE\0\0' ]; then
      echo program
      return
    fi
  elif [ "$(od -An -tx1 -N8 "$file" | sed 's/^ //')" = "$COMPOUND_FILE_MAGIC" ]; then
    echo package
    return
  fi
  fail "\"$file\" is neither a program (PE) nor a Windows Installer package: not signed"
}

work=$(mktemp -d "${TMPDIR:-/tmp}/sign.XXXXXX")
beside=()
cleanup() { rm -rf "$work" "${beside[@]}"; }
trap cleanup EXIT
chmod 700 "$work"

for file in "${files[@]}"; do kind "$file" >/dev/null; done
[ -z "$password_file" ] || readable "password file" "$password_file"

# The certificates that verify the signed files: the signer's chain, and the system's roots.
chain=$work/chain.pem
sign_with=()
if [ -n "$pfx" ]; then
  readable certificate "$pfx"
  passin=(-passin pass:)
  [ -z "$password_file" ] || passin=(-passin "file:$password_file")
  if ! openssl pkcs12 -in "$pfx" -nokeys "${passin[@]}" -out "$chain" >"$work/pkcs12.log" 2>&1; then
    # Older PKCS#12 files use ciphers OpenSSL 3 keeps in its legacy provider.
    if ! grep -q -i unsupported "$work/pkcs12.log" ||
       ! openssl pkcs12 -legacy -in "$pfx" -nokeys "${passin[@]}" -out "$chain" >"$work/pkcs12.log" 2>&1; then
      if grep -q 'Type=PKCS12' "$work/pkcs12.log"; then
        fail "\"$pfx\" is not a PKCS#12 (.pfx) file"
      elif grep -q -i -e 'mac verify' -e 'password' "$work/pkcs12.log"; then
        fail "wrong password for \"$pfx\"${password_file:+ (from \"$password_file\")}"
      fi
      fail "cannot read \"$pfx\": $(grep -v '^[0-9A-F]*:error:' "$work/pkcs12.log" | head -n 1)"
    fi
  fi
  sign_with=(-pkcs12 "$pfx")
  if [ -n "$password_file" ]; then sign_with+=(-readpass "$password_file"); else sign_with+=(-pass ""); fi
else
  readable "PKCS#11 module" "$module"
  readable certificate "$cert"
  openssl x509 -in "$cert" -noout 2>/dev/null || fail "\"$cert\" is not a PEM certificate"
  cp "$cert" "$chain"
  engine=$(openssl version -e | sed -n 's/^ENGINESDIR: "\(.*\)"$/\1/p')/pkcs11.so
  [ -f "$engine" ] ||
    fail "no PKCS#11 engine for OpenSSL at $engine (Debian's libengine-pkcs11-openssl; scripts/setup.sh installs it)"
  # osslsigncode finds the engine by its name in that folder; Debian 12's own osslsigncode (2.5)
  # fails to load it when given its path.
  sign_with=(-pkcs11module "$module" -certs "$cert" -key "$key")
  [ -z "$password_file" ] || sign_with+=(-readpass "$password_file")
fi
[ ! -f "$SYSTEM_ROOTS" ] || cat "$SYSTEM_ROOTS" >>"$chain"
[ -z "$timestamp" ] || sign_with+=(-ts "$timestamp")
verify_options=()
# A certificate's revocation list is fetched from the network where osslsigncode can: the
# check here is of the signature, and must not depend on a server.
if osslsigncode verify --help 2>&1 | grep -q -- -ignore-crl; then verify_options+=(-ignore-crl); fi

# reason LOG: osslsigncode's failure in one line.
reason() {
  if grep -q -i 'PIN incorrect' "$1"; then
    echo "the token refused the PIN"
  elif grep -q -i 'key values mismatch' "$1"; then
    echo "the certificate is not the key's"
  elif grep -q -i -e 'was not found' -e 'Failed to load private key' "$1"; then
    echo "no such key on the token: $key"
  else
    # Its first line of failure, else its first line.
    { grep -i -e fail -e error -e unable -e cannot "$1" | grep -v -e '^Failed$' -e '^[0-9A-F]*:error:'
      head -n 1 "$1"; } | head -n 1 | tr -d '\t'
  fi
}

# Every file is signed and verified before any replaces its original: a failure on the third
# leaves the first two as they were too.
signed_files=()
for file in "${files[@]}"; do
  dir=$(dirname "$file")
  # Beside the file, so that the signed one replaces it in one rename.
  temp=$(mktemp -d "$dir/.sign.XXXXXX") || fail "cannot write beside \"$file\": not signed"
  beside+=("$temp")
  signed=$temp/$(basename "$file")
  if ! osslsigncode sign "${sign_with[@]}" -h sha256 -in "$file" -out "$signed" \
       >"$work/sign.log" 2>&1; then
    fail "cannot sign \"$file\": $(reason "$work/sign.log")"
  fi
  if ! osslsigncode verify "${verify_options[@]}" -CAfile "$chain" -in "$signed" \
       >"$work/verify.log" 2>&1; then
    fail "the signature made for \"$file\" does not verify: not signed ($(reason "$work/verify.log"))"
  fi
  chmod --reference="$file" "$signed"
  signed_files+=("$signed")
done
for i in "${!files[@]}"; do
  mv -f "${signed_files[i]}" "${files[i]}"
  echo "signed $(kind "${files[i]}"): ${files[i]} (SHA-256 $(sha256sum "${files[i]}" | cut -d' ' -f1))"
done
