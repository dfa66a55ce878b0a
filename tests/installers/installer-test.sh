#!/usr/bin/env bash
# One installer example, whole, as its author relies on it: taken from this build's release zip,
# unpacked in a new folder, and built there by its engine, carrying the zip's FinishInstall.exe
# (signed in place, as an author signs it) and childprobe.exe as the product's step program, run
# silently under Wine in a prefix of its own. Then: the steps ran once, in order, in the setup
# directory; the .reg import landed in the installer's registry view only; the display values
# reached the installer's own entry; the step subkeys are gone and the run list's values kept;
# and the installer ended only after the last step had. A Windows Installer package is then
# uninstalled by its entry's command, which must take the run list and that entry with it.
# The zip's sample step program, run as the step would run it, registers itself. Last, the
# installer is built again with a stand-in for FinishInstall.exe that leaves the registry alone,
# and installed: its own entry must name the product all the same.
# Signed as an author signs: the program it carries from a .pfx, the installer from a token
# (SoftHSM2), a package and its program the other way round, each by scripts/sign.sh with a
# throwaway certificate made here; both verify, Wine's WinVerifyTrust accepts them and refuses the
# unsigned and a changed program, and the installed FinishInstall.exe is the signed one.
#
#   installer-test.sh nsis|inno|msi BITS CPACK_CONFIG FINISHINSTALL_EXE CHILDPROBE_EXE WORK_DIR
#                     [ISCC_EXE]
#
# BITS (32 or 64) is the build's: a 64-bit build's FinishInstall.exe reads the 64-bit view, so
# its NSIS installer and its package are 64-bit ones writing that view. CPACK_CONFIG is the
# build's CPackConfig.cmake, which makes its zip; the zip's FinishInstall.exe must be the
# build's. WORK_DIR keeps the zip, the installer, the logs and the Wine prefix, made once and
# cleared of the product before each run.
set -euo pipefail

if [ $# -lt 6 ]; then
  echo "usage: $0 nsis|inno|msi BITS CPACK_CONFIG FINISHINSTALL_EXE CHILDPROBE_EXE WORK_DIR" \
    "[ISCC_EXE]" >&2
  exit 2
fi
engine=$1 bits=$2 cpack_config=$3 program=$(realpath "$4") probe=$(realpath "$5") work=$6
iscc=${7:-}
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"

# What the examples write, spelt here as their author reads them.
readonly GUID='{5E27B1C4-9A30-4F8D-B6E2-0C41D97A38F5}'
readonly UNINSTALL='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall'
readonly PRODUCT_KEY="$UNINSTALL\\$GUID"
readonly RUN_LIST="$PRODUCT_KEY\\Quillmere"
readonly DISPLAY_KEY="$UNINSTALL\\InstallShield_$GUID"
readonly SETTINGS_KEY='HKLM\SOFTWARE\Sample Tool\Settings'
readonly PLUGINS_KEY='HKLM\SOFTWARE\Sample Tool\Plug-ins'
# The step program's run: long enough that an installer that does not wait ends well before it.
readonly STEP_PARAMETERS='--sleep 3000'

view=$bits
other_view=$((96 - bits))
failures=0

fail() {
  echo "installer-test: $*" >&2
  exit 1
}
# check WHAT EXPECTED ACTUAL
check() {
  if [ "$2" = "$3" ]; then
    echo "ok: $1: \"$3\""
  else
    echo "FAILED: $1: expected \"$2\", got \"$3\""
    failures=$((failures + 1))
  fi
}

mkdir -p "$work"
work=$(cd "$work" && pwd)
installer=$work/setup.exe
[ "$engine" = msi ] && installer=$work/setup.msi
record=$work/steps.log

# --- The release zip ---------------------------------------------------------------------------
# Made by cpack from the build into a folder of the test's own, and unpacked away from the
# checkout, where an author would. The examples take everything they carry from it but the
# step program, which the defines swap for childprobe.exe.
package=$work/package
rm -rf "$package"
cpack -G ZIP --config "$cpack_config" -B "$package" >"$work/cpack.log" 2>&1 ||
  fail "cpack failed: $(cat "$work/cpack.log")"
zips=("$package"/FinishInstall-*.zip)
[ -f "${zips[0]}" ] || fail "cpack made no FinishInstall-*.zip in $package"
unpacked=$(mktemp -d "${TMPDIR:-/tmp}/finishinstall-zip.XXXXXX")
trap 'rm -rf "$unpacked"' EXIT
(cd "$unpacked" && cmake -E tar xf "${zips[0]}") || fail "cannot extract ${zips[0]}"
release=$(echo "$unpacked"/FinishInstall-*)
examples=$release/examples

# --- The signed program ---------------------------------------------------------------------------
# The zip's program, signed in place as an author signs it before building the installer; the
# build's, unsigned, stays for WinVerifyTrust to refuse.
cmp -s "$program" "$release/FinishInstall.exe" ||
  fail "the zip's FinishInstall.exe is not the build's $program"
certificate=$work/certificate
tests/installers/test-certificate.sh "$certificate"
unsigned_program=$program
program=$release/FinishInstall.exe
mkdir -p "$work/signed"
. "$certificate/token.env"
from_pfx=(--pfx "$certificate/signer.pfx" --password-file "$certificate/password.txt")
from_token=(--pkcs11-module "$TOKEN_MODULE" --key "$TOKEN_KEY" --cert "$certificate/chain.pem"
            --password-file "$certificate/pin.txt")
# The package from the .pfx and its program from the token, the other way round elsewhere: each
# kind of file is signed both ways across the tests.
program_from=("${from_pfx[@]}") installer_from=("${from_token[@]}")
if [ "$engine" = msi ]; then program_from=("${from_token[@]}") installer_from=("${from_pfx[@]}"); fi
scripts/sign.sh "${program_from[@]}" "$program" >"$work/sign.log" 2>&1 ||
  fail "scripts/sign.sh failed on the program: $(cat "$work/sign.log")"
signed_hash=$(sha256sum "$program" | cut -d' ' -f1)

# --- The installer ------------------------------------------------------------------------------
. scripts/wine-env.sh
# A server left by a run that was cut short would keep its processes: ended first.
WINEPREFIX="$work/wineprefix" wineserver -k >/dev/null 2>&1 || true
wine_env_start "$work"
# wine_env_start's own, and the unpacked zip's.
trap 'wine_env_stop; rm -rf "$unpacked"' EXIT

# build_installer INSTALLER [STAND_IN]: the unpacked zip's example built by its engine into
# INSTALLER, with childprobe.exe as the product's step program; carrying the zip's signed
# FinishInstall.exe, and itself signed, or, given STAND_IN, that program in its place, unsigned.
# Sets install to the command that installs it silently; its logs go beside it.
build_installer() {
  local out=$1 stand_in=${2:-} options=() logs
  logs=$(dirname "$out")
  rm -f "$out"
  case $engine in
  nsis)
    command -v makensis >/dev/null || fail "makensis not found (scripts/setup.sh installs it)"
    [ "$bits" = 64 ] && options+=(-DTARGET=amd64-unicode -DREGVIEW=64)
    # The example's own signing step signs the installer and its uninstaller, from the token.
    if [ -n "$stand_in" ]; then
      options+=("-DFINISHINSTALL_EXE=$stand_in")
    else
      options+=("-DSIGN=bash $root/scripts/sign.sh --pkcs11-module $TOKEN_MODULE --key \"$TOKEN_KEY\" --cert $certificate/chain.pem --password-file $certificate/pin.txt \"%1\"")
    fi
    makensis -V2 "-DREGISTER_EXE=$probe" "-DREGISTER_PARAMETERS=$STEP_PARAMETERS" \
      "-DOUTFILE=$out" "${options[@]}" "$examples/nsis/sample-tool.nsi" \
      >"$logs/compile.log" 2>&1 || fail "makensis failed: $(cat "$logs/compile.log")"
    install=("$out" /S)
    ;;
  inno)
    [ -f "$iscc" ] || fail "no Inno Setup compiler at \"$iscc\" (scripts/setup.sh fetches it)"
    [ -z "$stand_in" ] || options+=("/DFinishInstallExe=$(winpath "$stand_in")")
    "$WINE64" "$iscc" /Q "/O$(winpath "$(dirname "$out")")" "/F$(basename "$out" .exe)" \
      "/DRegisterExe=$(winpath "$probe")" "/DRegisterParameters=$STEP_PARAMETERS" \
      "${options[@]}" "$(winpath "$examples/innosetup/sample-tool.iss")" \
      >"$logs/compile.log" 2>&1 || fail "ISCC failed: $(cat "$logs/compile.log")"
    install=("$out" /VERYSILENT /SUPPRESSMSGBOXES /NORESTART
      "/LOG=$(winpath "$logs/setup.log")")
    ;;
  msi)
    command -v wixl >/dev/null || fail "wixl not found (scripts/setup.sh installs it)"
    options=(-a x86)
    [ "$bits" = 64 ] && options=(-a x64 -D Win64=yes)
    # wixl takes a file's Source only relative to the .wxs.
    [ -z "$stand_in" ] ||
      options+=(-D "FinishInstallExe=$(realpath --relative-to="$examples/wix" "$stand_in")")
    wixl "${options[@]}" -D "RegisterExe=$(realpath --relative-to="$examples/wix" "$probe")" \
      -D "RegisterParameters=$STEP_PARAMETERS" -o "$out" "$examples/wix/sample-tool.wxs" \
      >"$logs/compile.log" 2>&1 || fail "wixl failed: $(cat "$logs/compile.log")"
    install=(msiexec /i "$(winpath "$out")" /qn /l*v "$(winpath "$logs/setup.log")")
    ;;
  *) fail "unknown engine $engine" ;;
  esac
  [ -f "$out" ] || fail "the $engine compiler made no $out"
  [ "$engine" = nsis ] || [ -n "$stand_in" ] ||
    scripts/sign.sh "${installer_from[@]}" "$out" >>"$work/sign.log" 2>&1 ||
    fail "scripts/sign.sh failed on the $engine installer: $(cat "$work/sign.log")"
}

# --- A prefix without the product -----------------------------------------------------------------
# clear_product: no trace of the product in the prefix. Windows Installer keeps its own record
# of an installed product, which deleting its keys does not clear, and a package whose product
# is installed repairs it instead: a product left by an earlier run is uninstalled first.
# (Wine's goes by the product's entry, which they delete.)
clear_product() {
  if [ "$engine" = msi ]; then
    local status=0
    "$WINE64" msiexec /x "$GUID" /qn >"$work/uninstall-output.log" 2>&1 || status=$?
    # 69: ERROR_UNKNOWN_PRODUCT (1605), nothing installed, cut to the byte a Unix exit status has.
    [ "$status" = 0 ] || [ "$status" = 69 ] ||
      fail "msiexec /x failed ($status) on the product left from before"
  fi
  rm -rf "$WINEPREFIX/drive_c/Program Files/Sample Tool" \
    "$WINEPREFIX/drive_c/Program Files (x86)/Sample Tool"
  rm -f "$record"
  local key v
  for key in "$PRODUCT_KEY" "$DISPLAY_KEY" "${SETTINGS_KEY%\\Settings}"; do
    for v in 32 64; do
      "$WINE64" reg delete "$key" /f /reg:$v >/dev/null 2>&1 || true
      ! "$WINE64" reg query "$key" /reg:$v >/dev/null 2>&1 ||
        fail "$key (/reg:$v) is left from before"
    done
  done
}

build_installer "$installer"
clear_product

# --- The silent install ---------------------------------------------------------------------------
# childprobe.exe records its start and end where this names; the variable reaches it through
# the installer and FinishInstall.exe.
export CHILDPROBE_RECORD
CHILDPROBE_RECORD=$(winpath "$record")
started=$(date +%s)
status=0
timeout 120 "$WINE64" "${install[@]}" >"$work/setup-output.log" 2>&1 || status=$?
# What the step program had recorded by the time the installer ended.
steps_at_end=$(cat "$record" 2>/dev/null || true)
echo "the $engine installer ran for $(($(date +%s) - started)) s"

# reg_query VIEW KEY [ARGUMENTS]: reg query's output, without carriage returns. Through a file:
# Wine's services inherit output handles, and could hold a pipe open. A query that fails is asked
# once more: a fresh prefix's reg.exe was seen to fail once on a value that was there, which
# left every path the checks build from the install location empty.
reg_query() {
  "$WINE64" reg query "$2" "${@:3}" /reg:"$1" >"$work/reg-query.txt" 2>/dev/null ||
    "$WINE64" reg query "$2" "${@:3}" /reg:"$1" >"$work/reg-query.txt" 2>/dev/null || true
  tr -d '\r' <"$work/reg-query.txt"
}
# reg_value VIEW KEY NAME: the value's data, or nothing (also when the key is missing).
reg_value() {
  reg_query "$1" "$2" /v "$3" |
    awk -v name="$3" -F'    ' '!found && $2 == name { print $4; found = 1 }'
}
# reg_key VIEW KEY: whether the key is there, "present" or "absent".
reg_key() {
  if "$WINE64" reg query "$2" /reg:"$1" >/dev/null 2>&1; then echo present; else echo absent; fi
}
# reg_listing VIEW KEY: the key's value names, then its subkeys as "subkey NAME", one a line.
reg_listing() {
  reg_query "$1" "$2" | KEY_PATH="HKEY_LOCAL_MACHINE\\${2#HKLM\\}\\" awk '
    /^    / { split(substr($0, 5), f, "    "); print f[1]; next }
    index(toupper($0), toupper(ENVIRON["KEY_PATH"])) == 1 {
      print "subkey " substr($0, length(ENVIRON["KEY_PATH"]) + 1) }'
}

check "installer exit code" 0 "$status"
check "step program's starts and ends when the installer ended" "1 1" \
  "$(grep -c '^start' <<<"$steps_at_end" || true) $(grep -c '^end' <<<"$steps_at_end" || true)"
install_location=$(reg_value "$view" "$PRODUCT_KEY" InstallLocation)
# A Windows Installer directory ends with a backslash; Windows reads the doubled one as one.
check "step program's current directory" "${install_location%\\}\\Setup" \
  "$(awk -F'\t' '$1 == "start" { print $3; exit }' <<<"$steps_at_end")"
check "imported setting in the installer's $view-bit view" classic \
  "$(reg_value "$view" "$SETTINGS_KEY" Theme)"
check "imported setting in the $other_view-bit view" "" \
  "$(reg_value "$other_view" "$SETTINGS_KEY" Theme)"
for name in DisplayName DisplayIcon; do
  expected=$(reg_value "$view" "$RUN_LIST" "$name")
  [ -n "$expected" ] || expected="(the run list's $name)"
  check "$name in the installer's own entry" "$expected" \
    "$(reg_value "$view" "$DISPLAY_KEY" "$name")"
done
check "run list's values and subkeys after the run" "DisplayIcon DisplayName Title TraceFile" \
  "$(reg_listing "$view" "$RUN_LIST" | sort | tr '\n' ' ' | sed 's/ $//')"
# The trace file the run list asks for: one run's lines, its version first and its end last.
trace_path=$(reg_value "$view" "$RUN_LIST" TraceFile)
trace_path=${trace_path//"%QuillmereDir%"/$install_location\\Setup}
trace_path=${trace_path//"%InstallDir%"/$install_location}
trace_file=${trace_path#[Cc]:}
trace_file=$WINEPREFIX/drive_c${trace_file//\\//}
check "trace file's runs and last line" "1 all 2 steps run: the window closes" \
  "$(grep -c '^[-0-9]* [:.0-9]* FinishInstall: FinishInstall ' "$trace_file" 2>&1) $(tail -n 1 \
    "$trace_file" 2>&1 | tr -d '\r' | sed 's/^[-0-9]* [:.0-9]* FinishInstall: //')"

# --- The signatures ---------------------------------------------------------------------------------
# The installed program, found where the product's entry says: C: is the prefix's drive_c.
installed=${install_location%\\}\\Setup\\FinishInstall.exe
installed=$WINEPREFIX/drive_c/$(sed -e 's/^[Cc]:\\//' -e 's/\\/\//g' <<<"$installed")
signing_failures=$failures
check "installed FinishInstall.exe's SHA-256 (the signed program's)" "$signed_hash" \
  "$(sha256sum "$installed" 2>/dev/null | cut -d' ' -f1)"
for file in "$program" "$installer"; do
  result=failed
  osslsigncode verify -CAfile "$certificate/root.pem" -in "$file" >"$work/verify.log" 2>&1 &&
    result=verified
  check "$(basename "$file")'s signature, against the test root" verified "$result"
done
# One byte of the signed program's code changed: its digest no longer matches.
changed=$work/signed/changed.exe
cp "$program" "$changed"
readonly CODE_OFFSET=1088
byte=$(od -An -tu1 -j$CODE_OFFSET -N1 "$changed" | tr -d ' ')
printf "\\$(printf %03o $((byte ^ 255)))" | dd of="$changed" bs=1 seek=$CODE_OFFSET conv=notrunc 2>/dev/null
asked=("$program" "$installer" "$unsigned_program" "$changed")
expected="0x00000000 0x00000000 0x800b0100 0x80096010"
names="signed program, signed installer, unsigned program, changed program"
# NSIS writes the uninstaller at build time, and the example's signing step signs it too.
if [ "$engine" = nsis ]; then
  asked+=("$(dirname "$(dirname "$installed")")/uninstall.exe")
  expected+=" 0x00000000"
  names+=", installed uninstaller"
fi
for i in "${!asked[@]}"; do asked[i]=$(winpath "${asked[i]}"); done
"$WINE64" "$(dirname "$probe")/trustprobe.exe" "${asked[@]}" >"$work/trust.log" 2>&1 || true
trust=($(tr -d '\r' <"$work/trust.log" | awk '{ print $1 }'))
# 0: accepted; TRUST_E_NOSIGNATURE and TRUST_E_BAD_DIGEST.
check "WinVerifyTrust: $names" "$expected" "${trust[*]}"
if [ "$failures" = "$signing_failures" ]; then
  summary_word=checked
else
  summary_word=FAILED
fi
echo "$summary_word: $engine installer, $bits-bit: the program and $(basename "$installer") signed and" \
  "verified, the installed program the signed one; WinVerifyTrust ($names): ${trust[*]}"

# The import's time is that of the settings key, which Wine writes to its registry file once
# the server has ended. The display stays, for what follows.
wineserver -k >/dev/null 2>&1 || true
hive_key='Software\\'
[ "$view" = 32 ] && hive_key+='Wow6432Node\\'
hive_key+='Sample Tool\\Settings'
import_time=$(KEY="[$hive_key]" awk '
  index(tolower($0), tolower(ENVIRON["KEY"])) == 1 { found = 1; next }
  found && /^#time=/ { print substr($0, 7); exit }
  found && /^\[/ { exit }' "$WINEPREFIX/system.reg")
step_start=$(awk -F'\t' '$1 == "start" { print $2; exit }' <<<"$steps_at_end")
order="no import or no step program start"
if [ -n "$import_time" ] && [ -n "$step_start" ]; then
  if [ $((16#$import_time)) -lt "$step_start" ]; then
    order="import, then the step program"
  else
    order="the step program, then the import"
  fi
fi
check "steps' order" "import, then the step program" "$order"

# --- The uninstall, by the command of the entry that shows ------------------------------------
if [ "$engine" = msi ]; then
  read -ra uninstall <<<"$(reg_value "$view" "$DISPLAY_KEY" UninstallString)"
  status=0
  if [ ${#uninstall[@]} = 0 ]; then
    status="no UninstallString"
  else
    timeout 120 "$WINE64" "${uninstall[@]}" /qn /l*v "$(winpath "$work/uninstall.log")" \
      >"$work/uninstall-output.log" 2>&1 || status=$?
  fi
  check "uninstall's exit code" 0 "$status"
  check "run list after the uninstall" absent "$(reg_key "$view" "$RUN_LIST")"
  check "installer's own entry after the uninstall" absent "$(reg_key "$view" "$DISPLAY_KEY")"
  check "trace file after the uninstall" absent "$([ -e "$trace_file" ] && echo present || echo absent)"
fi

# --- The zip's sample step program ---------------------------------------------------------
# Run as its step would run it, elevated and with the examples' parameters: it records its own
# path in the view of its build, the installer's.
sample=$release/examples/product/register.exe
status=0
"$WINE64" "$sample" /quiet >"$work/register-output.log" 2>&1 || status=$?
check "sample step program's exit code" 0 "$status"
check "sample step program's registration" "$(winpath "$sample")" \
  "$(reg_value "$view" "$PLUGINS_KEY" RegisteredBy)"

# --- The installer's own entry, FinishInstall.exe never run ---------------------------------
# In its place a program that leaves the registry alone (childprobe.exe, recording nothing),
# named as the engine installs it: the display name that shows is the installer's own, which
# is the one the run list would have given it.
unset CHILDPROBE_RECORD
mkdir -p "$work/stand-in"
cp "$probe" "$work/stand-in/FinishInstall.exe"
build_installer "$work/stand-in/setup.${installer##*.}" "$work/stand-in/FinishInstall.exe"
clear_product
status=0
timeout 120 "$WINE64" "${install[@]}" >"$work/stand-in/setup-output.log" 2>&1 || status=$?
check "installer exit code, FinishInstall.exe never run" 0 "$status"
expected=$(reg_value "$view" "$RUN_LIST" DisplayName)
[ -n "$expected" ] || expected="(the run list's DisplayName)"
check "DisplayName in the installer's own entry, FinishInstall.exe never run" "$expected" \
  "$(reg_value "$view" "$DISPLAY_KEY" DisplayName)"

[ "$failures" = 0 ] || {
  echo "$failures checks failed; logs in $work (compile.log, setup-output.log, steps.log)"
  exit 1
}
