#!/usr/bin/env bash
# The release checks of the test command. (a) Builds the shipped program twice, in two new
# folders of different depth, and compares the two files: they must be the same bytes, with no
# folder of either build in them. (b) Makes the package in build/i686 and checks that it holds
# exactly the program, the README, the sample run list and the installer examples, and that its
# program is the 32-bit Windows GUI program. (c) Reads its PE header: the hardening
# flags and versions are there, and the check fails on a copy with any one of them taken away.
# (d) Signs it from a .pfx and from a token, and gives the signing script bad inputs.
# Exits non-zero, saying why, on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

readonly OBJDUMP=i686-w64-mingw32-objdump
readonly STRINGS=i686-w64-mingw32-strings
readonly PACKAGE_DIR=build/i686
# What the zip holds under its one folder; directories are left out of the comparison.
readonly PACKAGED_FILES="FinishInstall.exe
README.md
examples/innosetup/sample-tool.iss
examples/nsis/sample-tool.nsi
examples/product/settings.reg
examples/sample-run-list.reg
examples/wix/sample-tool.wxs"

fail() {
    echo "release-check: FAILED: $*" >&2
    exit 1
}

. scripts/quiet.sh

work=$(mktemp -d "${TMPDIR:-/tmp}/finishinstall-release.XXXXXX")
trap 'rm -rf "$work"' EXIT

# --- (a) The same bytes every build -----------------------------------------------------------
build_release() {
    local dir=$1
    mkdir -p "$dir"
    quiet "$work/configure.log" cmake -S . -B "$dir" --toolchain cmake/mingw-i686.cmake \
        -DCMAKE_BUILD_TYPE=MinSizeRel -DFINISHINSTALL_TESTS=OFF
    quiet "$work/build.log" cmake --build "$dir" --target FinishInstall -j"$(nproc)"
    [ -f "$dir/FinishInstall.exe" ] || fail "no FinishInstall.exe in $dir"
}

# The folders differ in their length as well, so that an embedded path also moves what follows.
first=$work/one
second=$work/two/a-second-build-folder
echo "release-check: building the release program in $first and $second ..."
build_release "$first"
build_release "$second"
hash_first=$(sha256sum "$first/FinishInstall.exe" | cut -d' ' -f1)
hash_second=$(sha256sum "$second/FinishInstall.exe" | cut -d' ' -f1)
if [ "$hash_first" != "$hash_second" ]; then
    cmp -l "$first/FinishInstall.exe" "$second/FinishInstall.exe" | head -n 20 >&2 || true
    fail "two builds of one commit differ: $hash_first and $hash_second"
fi
# Narrow and wide strings alike: a path in a resource would be UTF-16.
for encoding in s l; do
    if "$STRINGS" -a -e "$encoding" "$first/FinishInstall.exe" | grep -F -e "$work" -e "$root"; then
        fail "FinishInstall.exe names a folder of the build machine (above)"
    fi
done
echo "release-check: identical rebuild, SHA-256 $hash_first"

# --- (b) The package ----------------------------------------------------------------------
[ -f "$PACKAGE_DIR/CMakeCache.txt" ] || quiet "$work/preset.log" cmake --preset i686
quiet "$work/package-build.log" cmake --build --preset i686 -j"$(nproc)"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$PACKAGE_DIR/CMakeCache.txt")
[ -n "$version" ] || fail "no project version in $PACKAGE_DIR/CMakeCache.txt"
name=FinishInstall-$version-win32
zip=$PACKAGE_DIR/$name.zip
rm -f "$zip"
# The zip records file times: the commit's, when there is one, so that it is the same file too.
if epoch=$(git log -1 --format=%ct 2>/dev/null); then
    export SOURCE_DATE_EPOCH=$epoch
fi
(cd "$PACKAGE_DIR" && quiet "$work/cpack.log" cpack -G ZIP)
[ -f "$zip" ] || fail "cpack made no $zip"

listed=$(cd "$PACKAGE_DIR" && cmake -E tar tf "$name.zip") || fail "cannot list $zip"
files=$(printf '%s\n' "$listed" | grep -v '/$' | sort)
expected=$(printf '%s\n' "$PACKAGED_FILES" | sed "s|^|$name/|" | sort)
if [ "$files" != "$expected" ]; then
    echo "expected:" >&2
    printf '%s\n' "$expected" >&2
    echo "found:" >&2
    printf '%s\n' "$files" >&2
    fail "$zip does not hold exactly its seven files"
fi

mkdir "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$root/$zip") || fail "cannot extract $zip"
exe=$work/unpacked/$name/FinishInstall.exe
"$OBJDUMP" -f "$exe" >"$work/objdump-f.txt" 2>&1 || fail "objdump cannot read the packaged exe"
"$OBJDUMP" -p "$exe" >"$work/objdump-p.txt" 2>&1 || fail "objdump cannot read the packaged exe"
grep -q 'file format pei-i386' "$work/objdump-f.txt" ||
    fail "the packaged exe is not a PE32 i386 file: $(grep 'file format' "$work/objdump-f.txt")"
grep -q -E '^Magic[[:space:]]+010b' "$work/objdump-p.txt" ||
    fail "the packaged exe is not PE32: $(grep '^Magic' "$work/objdump-p.txt")"
grep -q -E '^Subsystem[[:space:]]+00000002' "$work/objdump-p.txt" ||
    fail "the packaged exe is not a GUI program: $(grep '^Subsystem' "$work/objdump-p.txt")"
hash_packaged=$(sha256sum "$exe" | cut -d' ' -f1)
[ "$hash_packaged" = "$hash_first" ] ||
    fail "the packaged exe ($hash_packaged) differs from the release builds ($hash_first)"

echo "release-check: $zip holds exactly:"
printf '%s\n' "$files" | sed 's/^/    /'
echo "release-check: its FinishInstall.exe is the PE32 i386 GUI program of the identical builds"

# --- (c) The hardened PE header ---------------------------------------------------------------
# What dumpbin /headers and a security scanner read: the flags and versions CMakeLists.txt asks
# the linker for. pe_header_problems OBJDUMP_P_FILE prints one line per flag or version missing.
pe_header_problems() {
    local dump=$1 flag field
    for flag in DYNAMIC_BASE NX_COMPAT TERMINAL_SERVICE_AWARE NO_SEH; do
        grep -q -E "^[[:space:]]+$flag\$" "$dump" || echo "DllCharacteristics lacks $flag"
    done
    for field in MajorOSystemVersion:6 MinorOSystemVersion:1 MajorSubsystemVersion:6 \
                 MinorSubsystemVersion:1; do
        grep -q -E "^${field%:*}[[:space:]]+${field#*:}\$" "$dump" ||
            echo "${field%:*} is not ${field#*:}: $(grep "^${field%:*}" "$dump" | tr -s '\t ' ' ')"
    done
}
# patched EXE OFFSET BYTES...: a copy of EXE with the optional header's bytes at OFFSET replaced
# (octal escapes), its objdump -p in the copy's name with .txt.
patched() {
    local exe=$1 offset=$2 copy
    shift 2
    copy=$work/patched/$offset-$(printf '%s' "$@")
    cp "$exe" "$copy.exe"
    # shellcheck disable=SC2059 # the format is the bytes
    printf "$(printf '\\%s' "$@")" |
        dd of="$copy.exe" bs=1 seek=$((optional_header + offset)) conv=notrunc status=none
    "$OBJDUMP" -p "$copy.exe" >"$copy.txt" 2>&1
    echo "$copy.txt"
}
problems=$(pe_header_problems "$work/objdump-p.txt")
[ -z "$problems" ] || fail "the shipped program's PE header: $(echo "$problems" | paste -sd ';')"
# NO_SEH claims that no exception handler in the image is ever called. Nothing may register one:
# no write to the thread's exception list at fs:0, no import of the C runtime's handlers.
"$OBJDUMP" -d "$exe" >"$work/disassembly.txt"
if grep -E ',%fs:' "$work/disassembly.txt" >&2; then
    fail "the shipped program writes through fs (above): it may register an exception handler"
fi
if grep -i -E 'except_handler|C_specific_handler' "$work/objdump-p.txt" >&2; then
    fail "the shipped program imports an exception handler (above): NO_SEH would not hold"
fi
# Every DLL the program imports is one of the system's known DLLs, which the loader takes from
# the system folder alone, never from beside the program (oleacc, for one, is not).
readonly KNOWN_DLLS="advapi32 gdi32 kernel32 msvcrt ole32 user32"
for dll in $(awk '/DLL Name:/ { print tolower($3) }' "$work/objdump-p.txt" | sed 's/\.dll$//'); do
    [[ " $KNOWN_DLLS " == *" $dll "* ]] ||
        fail "the shipped program imports $dll.dll, not one of the known DLLs ($KNOWN_DLLS)"
done
# The stack cookies leave no mark in the header. Their failure routine is the witness: the
# link drops it unless protected code calls it. Its guard is the program's own, not libssp's,
# which would load the cryptographic provider at every start.
"$STRINGS" -a "$exe" >"$work/strings.txt"
grep -q -F 'stack buffer overrun detected' "$work/strings.txt" ||
    fail "the shipped program has no stack protector linked in (its failure routine is missing)"
! grep -q -E 'stack smashing detected|CryptGenRandom|CryptAcquireContext' "$work/strings.txt" ||
    fail "the shipped program takes its stack guard from libssp (CryptGenRandom at every start)"
# Each flag and version taken away in turn: the check above must name what is missing. The
# offsets are in the optional header: DllCharacteristics at 70 (its low byte, then its high
# byte), the OS version at 40 and 42, the subsystem version at 48 and 50.
# The PE signature's offset is at 60; the optional header follows it and the 20-byte file header.
optional_header=$(($(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ') + 24))
characteristics=$(od -An -tu2 -j$((optional_header + 70)) -N2 "$exe" | tr -d ' ')
low=$((characteristics & 0xff)) high=$((characteristics >> 8))
mkdir "$work/patched"
taken_away=0
for case in "DYNAMIC_BASE 70 $((low & ~0x40))" "NX_COMPAT 71 $((high & ~0x01))" \
            "NO_SEH 71 $((high & ~0x04))" "TERMINAL_SERVICE_AWARE 71 $((high & ~0x80))" \
            "MajorOSystemVersion 40 4" "MinorOSystemVersion 42 0" \
            "MajorSubsystemVersion 48 4" "MinorSubsystemVersion 50 0"; do
    read -r what offset value <<<"$case"
    dump=$(patched "$exe" "$offset" "$(printf '%03o' "$value")")
    pe_header_problems "$dump" | grep -q "$what" ||
        fail "the PE header check passes a program without $what (${dump%.txt}.exe)"
    taken_away=$((taken_away + 1))
done
echo "checked: shipped program's PE header: DYNAMIC_BASE, NX_COMPAT, NO_SEH," \
    "TERMINAL_SERVICE_AWARE, OS and subsystem version 6.1; no exception handler registered;" \
    "imports known DLLs only; stack protector linked in;" \
    "the check fails with each of the $taken_away taken away"

# --- (d) The signed program -----------------------------------------------------------------------
# The release program signed, from a .pfx as the release is made (FINISHINSTALL_SIGN, which
# signs the installed copy) and a copy of it from a key on a token (SoftHSM2's), with a throwaway
# certificate made here under the build folder. Each must
# verify against the throwaway root, give back the release program's bytes once its signature is
# removed, and stay within the size the program is held to. Then the bad inputs: each must fail
# with one line, leaving its file as it was.
readonly MAX_SIGNED_BYTES=65536
signing=$root/build/release-signing
quiet "$work/certificate.log" tests/installers/test-certificate.sh "$signing"
release=$first/FinishInstall.exe
mkdir "$work/signed"
. "$signing/token.env"
pfx=(--pfx "$signing/signer.pfx" --password-file "$signing/password.txt")
token=(--pkcs11-module "$TOKEN_MODULE" --key "$TOKEN_KEY" --cert "$signing/chain.pem"
       --password-file "$signing/pin.txt")
for way in pfx token; do
    signed=$work/signed/$way/FinishInstall.exe
    if [ "$way" = pfx ]; then
        # As the release is made: the installed copy signed, as cpack's is.
        pfx_list=$(IFS=';'; echo "${pfx[*]}")
        quiet "$work/configure-signed.log" cmake -S . -B "$first" "-DFINISHINSTALL_SIGN=$pfx_list"
        quiet "$work/install-signed.log" cmake --install "$first" --prefix "$work/signed/$way"
        quiet "$work/configure-unsigned.log" cmake -S . -B "$first" -DFINISHINSTALL_SIGN=
        [ "$(sha256sum "$release" | cut -d' ' -f1)" = "$hash_first" ] ||
            fail "the signed install changed the program in the build folder"
    else
        mkdir "$work/signed/$way"
        cp "$release" "$signed"
        quiet "$work/sign-$way.log" scripts/sign.sh "${token[@]}" "$signed"
    fi
    quiet "$work/verify-$way.log" osslsigncode verify -CAfile "$signing/root.pem" -in "$signed"
    quiet "$work/remove-$way.log" osslsigncode remove-signature -in "$signed" \
        -out "$work/signed/$way/unsigned.exe"
    cmp -s "$work/signed/$way/unsigned.exe" "$release" ||
        fail "the program signed from the $way, its signature removed, is not the release program"
    size=$(stat -c %s "$signed")
    [ "$size" -le "$MAX_SIGNED_BYTES" ] ||
        fail "the program signed from the $way is $size bytes, over $MAX_SIGNED_BYTES"
    echo "checked: release program signed from the $way: verifies against the test root," \
        "its signature removed gives the release program's bytes, $size bytes (at most $MAX_SIGNED_BYTES)"
done

# refused WHAT FILE ARGUMENTS...: sign.sh, given FILE and then ARGUMENTS (options, further files),
# must fail with one line, leaving FILE as it was.
refused() {
    local what=$1 file=$2 before status=0
    shift 2
    before=$(sha256sum "$file" | cut -d' ' -f1)
    scripts/sign.sh "$file" "$@" >"$work/refused.log" 2>&1 || status=$?
    [ "$status" != 0 ] || fail "sign.sh signed $file with $what"
    [ "$(wc -l <"$work/refused.log")" = 1 ] && grep -q '^sign.sh: ' "$work/refused.log" ||
        fail "sign.sh's answer to $what is not one line: $(cat "$work/refused.log")"
    [ "$(sha256sum "$file" | cut -d' ' -f1)" = "$before" ] || fail "sign.sh changed $file with $what"
    ! ls -d "$(dirname "$file")"/.sign.* >/dev/null 2>&1 || fail "sign.sh left a file beside $file"
    echo "    $what: $(cat "$work/refused.log")"
    refusals=$((refusals + 1))
}
refusals=0
mkdir "$work/refused"
unsigned=$work/refused/FinishInstall.exe
cp "$release" "$unsigned"
echo wrong >"$work/wrong-password.txt"
echo "release-check: scripts/sign.sh refuses, leaving the file as it was:"
refused "a wrong password" "$unsigned" --pfx "$signing/signer.pfx" \
    --password-file "$work/wrong-password.txt"
refused "a missing certificate" "$unsigned" --pfx "$signing/missing.pfx"
refused "a certificate that is not PKCS#12" "$unsigned" --pfx "$signing/root.pem" \
    --password-file "$signing/password.txt"
cp README.md "$work/refused/README.md"
refused "a file neither a program nor a package" "$work/refused/README.md" "${pfx[@]}"
refused "a wrong PIN" "$unsigned" --pkcs11-module "$TOKEN_MODULE" --key "$TOKEN_KEY" \
    --cert "$signing/chain.pem" --password-file "$work/wrong-password.txt"
refused "a certificate not the key's" "$unsigned" --pkcs11-module "$TOKEN_MODULE" \
    --key "$TOKEN_KEY" --cert "$signing/root.pem" --password-file "$signing/pin.txt"
# A good program named before a damaged one: nothing is replaced until every file is signed.
head -c 300 "$release" >"$work/refused/damaged.exe"
refused "a good program, then a damaged one" "$unsigned" "${pfx[@]}" "$work/refused/damaged.exe"
# The signed one, too: a failed signing must not take its signature away.
refused "a signed program and a wrong password" "$work/signed/pfx/FinishInstall.exe" \
    --pfx "$signing/signer.pfx" --password-file "$work/wrong-password.txt"
echo "checked: scripts/sign.sh refuses $refusals bad inputs, each with one line and its file unchanged"
