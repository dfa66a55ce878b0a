#!/usr/bin/env bash
# The release checks of the test command. (a) Builds the shipped program and the sample step
# program twice, in two new folders of different depth, and compares the files: they must be
# the same bytes, with no folder of either build in them. (b) Makes the package in build/i686
# and checks that it holds exactly the program, the README, the licence, the changelog, the
# docs pages and picture, the sample run list and the installer examples with their sample
# step program, and that its program is the 32-bit Windows GUI program. Unpacked in a new
# folder away from the checkout, each example builds there with its engine and no option; every
# relative link of the package's Markdown, and of the checkout's, names a file that is there.
# (c) Reads the program's PE header: the hardening flags and versions are there, and the check
# fails on a copy with any one of them taken away. (d) Signs it from a .pfx and from a token,
# and gives the signing script bad inputs. Exits non-zero, saying why, on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

readonly OBJDUMP=i686-w64-mingw32-objdump
readonly STRINGS=i686-w64-mingw32-strings
readonly PACKAGE_DIR=build/i686
# What the zip holds under its one folder, with every docs/*.md of the checkout; directories
# are left out of the comparison.
readonly PACKAGED_FILES="FinishInstall.exe
README.md
LICENSE
CHANGELOG.md
docs/progress-window.png
examples/innosetup/sample-tool.iss
examples/nsis/sample-tool.nsi
examples/product/register.cpp
examples/product/register.exe
examples/product/settings.reg
examples/sample-run-list.reg
examples/wix/sample-tool.wxs"
# The programs two builds must make alike, in their build folder.
readonly BUILT_PROGRAMS="FinishInstall.exe examples/product/register.exe"

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
    quiet "$work/build.log" cmake --build "$dir" --target FinishInstall sample_register \
        -j"$(nproc)"
    local program
    for program in $BUILT_PROGRAMS; do
        [ -f "$dir/$program" ] || fail "no $program in $dir"
    done
}

# The folders differ in their length as well, so that an embedded path also moves what follows.
first=$work/one
second=$work/two/a-second-build-folder
echo "release-check: building the release program in $first and $second ..."
build_release "$first"
build_release "$second"
for program in $BUILT_PROGRAMS; do
    hash_one=$(sha256sum "$first/$program" | cut -d' ' -f1)
    hash_two=$(sha256sum "$second/$program" | cut -d' ' -f1)
    if [ "$hash_one" != "$hash_two" ]; then
        cmp -l "$first/$program" "$second/$program" | head -n 20 >&2 || true
        fail "two builds of one commit differ in $program: $hash_one and $hash_two"
    fi
    # Narrow and wide strings alike: a path in a resource would be UTF-16.
    for encoding in s l; do
        if "$STRINGS" -a -e "$encoding" "$first/$program" | grep -F -e "$work" -e "$root"; then
            fail "$program names a folder of the build machine (above)"
        fi
    done
    echo "release-check: identical rebuild of $program, SHA-256 $hash_one"
done
hash_first=$(sha256sum "$first/FinishInstall.exe" | cut -d' ' -f1)

# --- (b) The package ----------------------------------------------------------------------
[ -f "$PACKAGE_DIR/CMakeCache.txt" ] || quiet "$work/preset.log" cmake --preset i686
# What the package holds; the test command has built the rest already.
quiet "$work/package-build.log" cmake --build --preset i686 --target FinishInstall sample_register \
    -j"$(nproc)"
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
pages=$(find docs -maxdepth 1 -type f -name '*.md' | sort)
expected=$(printf '%s\n' "$PACKAGED_FILES" "$pages" | sed -e '/^$/d' -e "s|^|$name/|" | sort)
if [ "$files" != "$expected" ]; then
    echo "expected:" >&2
    printf '%s\n' "$expected" >&2
    echo "found:" >&2
    printf '%s\n' "$files" >&2
    fail "$zip does not hold exactly its $(printf '%s\n' "$expected" | wc -l) files"
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
sample=$work/unpacked/$name/examples/product/register.exe
"$OBJDUMP" -f "$sample" >"$work/objdump-sample.txt" 2>&1 ||
    fail "objdump cannot read the packaged sample step program"
grep -q 'file format pei-i386' "$work/objdump-sample.txt" ||
    fail "the packaged sample step program is not a 32-bit Windows program"
cmp -s "$sample" "$first/examples/product/register.exe" ||
    fail "the packaged sample step program differs from the release builds'"

echo "release-check: $zip holds exactly:"
printf '%s\n' "$files" | sed 's/^/    /'
echo "release-check: its FinishInstall.exe is the PE32 i386 GUI program of the identical builds"

# --- (b) The package's examples, built where they lie --------------------------------------
# As an author finds them in the unpacked zip, each built in its own folder by its engine with
# no option: the program and the sample step program they carry are the zip's. The zip lies
# in a folder of its own under $work, so that no path of the checkout can stand in for it.
case $work/ in
    "$root"/*) fail "TMPDIR ($work) is inside the checkout: the zip must lie away from it" ;;
esac
examples=$work/unpacked/$name/examples
(cd "$examples/nsis" && quiet "$work/makensis.log" makensis -V2 sample-tool.nsi) ||
    fail "makensis sample-tool.nsi did not build in the unpacked zip"
[ -f "$examples/nsis/sample-tool-setup.exe" ] || fail "makensis made no sample-tool-setup.exe"
built=("NSIS: makensis sample-tool.nsi")
# wixl writes sample-tool.msi beside the source, whichever folder it runs in.
for wix_arch in x86 x64; do
    options=()
    [ "$wix_arch" = x86 ] || options=(-a "$wix_arch")
    rm -f "$examples/wix/sample-tool.msi"
    (cd "$examples/wix" && quiet "$work/wixl-$wix_arch.log" wixl "${options[@]}" sample-tool.wxs) ||
        fail "wixl ${options[*]} sample-tool.wxs did not build in the unpacked zip"
    [ -f "$examples/wix/sample-tool.msi" ] || fail "wixl ${options[*]} made no sample-tool.msi"
    built+=("WiX: wixl ${options[*]}${options[*]:+ }sample-tool.wxs")
done
# ISCC, a 32-bit program, and only where this machine runs 32-bit code, as the i686 suite.
. scripts/compat32.sh
if compat32_check; then
    iscc=$root/build/innosetup/package/bin/ISCC.exe
    [ -f "$iscc" ] || fail "no Inno Setup compiler at $iscc (scripts/setup.sh fetches it)"
    (
        . scripts/wine-env.sh
        wine_env_start "$root/build/release-check/innosetup"
        cd "$examples/innosetup"
        "$WINE64" "$iscc" /Q sample-tool.iss
    ) >"$work/iscc.log" 2>&1 ||
        fail "ISCC sample-tool.iss did not build in the unpacked zip: $(cat "$work/iscc.log")"
    [ -f "$examples/innosetup/Output/sample-tool-setup.exe" ] ||
        fail "ISCC made no Output/sample-tool-setup.exe"
    built+=("Inno Setup: ISCC sample-tool.iss")
else
    built+=("Inno Setup: not run: $COMPAT32_REASON")
fi
echo "checked: the unpacked zip's examples build where they lie, with no option:" \
    "$(printf '%s; ' "${built[@]}" | sed 's/; $//')"

# --- (b) The links of the package's Markdown and of the checkout's -----------------------------
# The check itself first, on pages made here: it must name the broken links, and those alone.
mkdir -p "$work/links/docs"
touch "$work/links/docs/picture.png"
printf '%s\n' '# Links' '[a page](docs/page.md#part) ![a picture](docs/picture.png)' \
    '[gone](docs/gone.md) [web](https://example.org/x.md) [anchor](#links)' \
    '`[code](code.md)`' '```' '[fenced](fenced.md)' '```' '[ref]: docs/missing.png' \
    >"$work/links/README.md"
printf '%s\n' '[back](../README.md) [up too far](../../README.md)' >"$work/links/docs/page.md"
found=$(scripts/check-links.sh "$work/links" | tr '\n' ' ') &&
    fail "check-links.sh passes broken links"
[ "$found" = "README.md:3: docs/gone.md README.md:8: docs/missing.png docs/page.md:1: \
../../README.md " ] || fail "check-links.sh on its own test pages found: $found"
for tree in "$work/unpacked/$name" "$root"; do
    scripts/check-links.sh "$tree" >"$work/links.txt" ||
        fail "broken relative links in the Markdown of $tree: $(tr '\n' ' ' <"$work/links.txt")"
done
echo "checked: every relative link in the package's Markdown and in the checkout's names a" \
    "file that is there; the check names each broken link of its own test pages"

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
# signs the installed copy, and the sample step program's with it) and a copy of it from a key
# on a token (SoftHSM2's), with a throwaway certificate made here under the build folder. Each
# must verify against the throwaway root, give back the release program's bytes once its
# signature is removed, and stay within the size the program is held to. Then the bad inputs:
# each must fail with one line, leaving its file as it was.
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
        # The sample step program the package carries, signed in the same call.
        sample_signed=$work/signed/$way/examples/product/register.exe
        quiet "$work/verify-sample.log" osslsigncode verify -CAfile "$signing/root.pem" \
            -in "$sample_signed"
        quiet "$work/remove-sample.log" osslsigncode remove-signature -in "$sample_signed" \
            -out "$work/signed/register-unsigned.exe"
        cmp -s "$work/signed/register-unsigned.exe" "$first/examples/product/register.exe" ||
            fail "the sample step program signed at install, unsigned again, is not the build's"
        echo "checked: sample step program signed with the program at install: verifies against" \
            "the test root, its signature removed gives the build's bytes"
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
