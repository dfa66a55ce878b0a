#!/usr/bin/env bash
# The throwaway signing identity of the signing checks, made anew in DIR at test time and never
# kept elsewhere:
#
#   test-certificate.sh DIR
#
# DIR/root.pem (and root.cer, DER): a root certificate; DIR/signer.pem: a code-signing
# certificate it issued, with DIR/chain.pem (the two together, as a token's user gives them);
# DIR/signer.pfx: that certificate and its key, with the chain, under the password in
# DIR/password.txt; and a SoftHSM2 token holding the same key, PIN in DIR/pin.txt. DIR/token.env,
# sourced, sets SOFTHSM2_CONF, TOKEN_MODULE (the PKCS#11 module) and TOKEN_KEY (the key's URI).
set -euo pipefail

[ $# = 1 ] || { echo "usage: $0 DIR" >&2; exit 2; }
dir=$1
rm -rf "$dir"
mkdir -p "$dir/tokens"
dir=$(cd "$dir" && pwd)
cd "$dir"

fail() {
  echo "test-certificate: $*" >&2
  exit 1
}
# run COMMAND...: its output in log.txt, shown when it fails.
run() { "$@" >>log.txt 2>&1 || fail "$* failed: $(tail -n 3 log.txt)"; }

module=/usr/lib/softhsm/libsofthsm2.so
[ -f "$module" ] || module=$(dpkg -L libsofthsm2 2>/dev/null | grep '/libsofthsm2\.so$' | head -n 1)
[ -f "$module" ] || fail "no SoftHSM2 module (Debian's softhsm2; scripts/setup.sh installs it)"

cat >openssl.cnf <<'EOF'
[req]
distinguished_name = name
[name]
[root]
basicConstraints = critical, CA:true
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[signer]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
EOF
run openssl req -x509 -new -newkey rsa:2048 -nodes -keyout root.key -out root.pem -days 2 \
  -subj "/CN=FinishInstall throwaway test root" -config openssl.cnf -extensions root
run openssl x509 -in root.pem -outform DER -out root.cer
run openssl req -new -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr \
  -subj "/CN=FinishInstall throwaway code signer" -config openssl.cnf
run openssl x509 -req -in signer.csr -CA root.pem -CAkey root.key -set_serial 1 -days 2 \
  -out signer.pem -extfile openssl.cnf -extensions signer
cat signer.pem root.pem >chain.pem
echo "throwaway-$RANDOM" >password.txt
run openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile root.pem -name signer \
  -out signer.pfx -passout file:password.txt

echo 2468 >pin.txt
printf 'directories.tokendir = %s/tokens\nobjectstore.backend = file\nlog.level = ERROR\n' \
  "$dir" >softhsm2.conf
export SOFTHSM2_CONF=$dir/softhsm2.conf
run softhsm2-util --init-token --free --label finishinstall-test --pin "$(cat pin.txt)" \
  --so-pin 13579
run softhsm2-util --import signer.key --token finishinstall-test --label signer --id 01 \
  --pin "$(cat pin.txt)"
# Only the token keeps the key from here on, as a real token does.
rm -f signer.key signer.csr root.key
cat >token.env <<EOF
export SOFTHSM2_CONF='$dir/softhsm2.conf'
TOKEN_MODULE='$module'
TOKEN_KEY='pkcs11:token=finishinstall-test;object=signer;type=private'
EOF
