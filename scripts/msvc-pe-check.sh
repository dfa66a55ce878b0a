#!/usr/bin/env bash
# scripts/msvc-pe-check.sh i686|x86_64 EXE: the PE header of a Visual Studio-style build
# (scripts/build-msvc.sh) has what its link asks: DYNAMIC_BASE, NX_COMPAT,
# TERMINAL_SERVICE_AWARE and GUARD_CF, subsystem 6.1, a load configuration with Control Flow
# Guard's table and check, and on i686 SafeSEH: a table of handlers, or NO_SEH where the image
# has none. Then each flag is taken away in a copy,
# and the check must name it. Prints one line; exits non-zero, saying why, on a failure.
set -euo pipefail

arch=$1 exe=$2
case $arch in
  i686) objdump=i686-w64-mingw32-objdump bits=32 ;;
  x86_64) objdump=x86_64-w64-mingw32-objdump bits=64 ;;
  *)
    echo "usage: scripts/msvc-pe-check.sh i686|x86_64 EXE" >&2
    exit 2
    ;;
esac
work=$(mktemp -d "${TMPDIR:-/tmp}/finishinstall-msvc-pe.XXXXXX")
trap 'rm -rf "$work"' EXIT

u16() { od -An -tu2 -j"$2" -N2 "$1" | tr -d ' '; }
u32() { od -An -tu4 -j"$2" -N4 "$1" | tr -d ' '; }
# The file offset of an RVA, through the section table.
file_offset() {
  local file=$1 rva=$2 pe sections table i va size raw
  pe=$(u32 "$file" 60)
  sections=$(u16 "$file" $((pe + 6)))
  table=$((pe + 24 + $(u16 "$file" $((pe + 20)))))
  for ((i = 0; i < sections; i++)); do
    va=$(u32 "$file" $((table + i * 40 + 12)))
    size=$(u32 "$file" $((table + i * 40 + 8)))
    raw=$(u32 "$file" $((table + i * 40 + 20)))
    if [ "$rva" -ge "$va" ] && [ "$rva" -lt $((va + size)) ]; then
      echo $((raw + rva - va))
      return
    fi
  done
  echo -1
}

# problems FILE: one line per thing missing.
problems() {
  local file=$1 dump flag field pe opt config config_size ptr
  dump=$work/dump.txt
  "$objdump" -p "$file" >"$dump" 2>&1 || { echo "objdump cannot read it"; return; }
  for flag in DYNAMIC_BASE NX_COMPAT TERMINAL_SERVICE_AWARE GUARD_CF; do
    grep -q -E "^[[:space:]]+$flag\$" "$dump" || echo "DllCharacteristics lacks $flag"
  done
  grep -q -E '^Subsystem[[:space:]]+00000002' "$dump" || echo "it is not a GUI program"
  for field in MajorSubsystemVersion:6 MinorSubsystemVersion:1; do
    grep -q -E "^${field%:*}[[:space:]]+${field#*:}\$" "$dump" ||
      echo "${field%:*} is not ${field#*:}: $(grep "^${field%:*}" "$dump" | tr -s '\t ' ' ')"
  done
  # The load configuration: its directory is the eleventh, after 96 (PE32) or 112 bytes.
  pe=$(u32 "$file" 60)
  opt=$((pe + 24))
  config=$(u32 "$file" $((opt + (bits == 32 ? 96 : 112) + 80)))
  config_size=$(u32 "$file" $((opt + (bits == 32 ? 96 : 112) + 84)))
  if [ "$config" = 0 ] || [ "$config_size" = 0 ]; then
    echo "no load configuration"
    return
  fi
  config=$(file_offset "$file" "$config")
  # Where the guard's check pointer and flags lie, and the SafeSEH table (32-bit only).
  local check_at flags_at
  if [ "$bits" = 32 ]; then check_at=72 flags_at=88; else check_at=112 flags_at=144; fi
  [ "$(u32 "$file" "$config")" -gt "$flags_at" ] ||
    echo "the load configuration is too short for Control Flow Guard's fields"
  ptr=$(u32 "$file" $((config + check_at)))
  [ "$ptr" != 0 ] || echo "the load configuration has no guard check function"
  [ $(($(u32 "$file" $((config + flags_at))) & 0x500)) = $((0x500)) ] ||
    echo "the load configuration's guard flags lack CF_INSTRUMENTED and the function table"
  # On x86 every exception handler must be in the SafeSEH table the load configuration names.
  # An image with no handler at all has an empty table, which the linker writes as NO_SEH
  # (Windows then calls none); Visual Studio's runtime brings a handler of its own.
  if [ "$bits" = 32 ] && [ "$(u32 "$file" $((config + 64)))" = 0 ] &&
    ! grep -q -E '^[[:space:]]+NO_SEH$' "$dump"; then
    echo "neither a SafeSEH table nor NO_SEH"
  fi
}

found=$(problems "$exe")
[ -z "$found" ] || {
  echo "msvc-pe-check: $exe: $(echo "$found" | paste -sd ';')" >&2
  exit 1
}
# Each taken away in a copy: the check must name it. DllCharacteristics is at 70 in the optional
# header (DYNAMIC_BASE 0x40 in its low byte; NX_COMPAT 0x01, GUARD_CF 0x40, TERMINAL_SERVICE_AWARE
# 0x80 in its high byte), the subsystem version at 48 and 50.
opt=$(($(u32 "$exe" 60) + 24))
chars=$(u16 "$exe" $((opt + 70)))
low=$((chars & 0xff)) high=$((chars >> 8))
cases=("DYNAMIC_BASE 70 $((low & ~0x40))" "NX_COMPAT 71 $((high & ~0x01))"
       "GUARD_CF 71 $((high & ~0x40))" "TERMINAL_SERVICE_AWARE 71 $((high & ~0x80))"
       "MajorSubsystemVersion 48 4" "MinorSubsystemVersion 50 0")
[ "$bits" = 64 ] || cases+=("NO_SEH 71 $((high & ~0x04))")
for case in "${cases[@]}"; do
  read -r what offset value <<<"$case"
  cp "$exe" "$work/copy.exe"
  # shellcheck disable=SC2059 # the format is the byte
  printf "$(printf '\\%03o' "$value")" |
    dd of="$work/copy.exe" bs=1 seek=$((opt + offset)) conv=notrunc status=none
  problems "$work/copy.exe" | grep -q "$what" ||
    { echo "msvc-pe-check: the check passes a copy without $what" >&2; exit 1; }
done
extra=""
[ "$bits" = 64 ] || extra=", SafeSEH (no handler: NO_SEH)"
echo "checked: MSVC-mode $arch program's PE header: DYNAMIC_BASE, NX_COMPAT," \
  "TERMINAL_SERVICE_AWARE, GUARD_CF, subsystem 6.1, guard check and function table$extra;" \
  "the check fails with each of the ${#cases[@]} flags and versions taken away"
