# Sourced by the scripts: whether this machine runs 32-bit code, the one thing the shipped
# program's suite, demo and start-up figures need. Wine's 32-bit loader (Debian's wine32:i386)
# is a 32-bit Linux program; some kernels run none (no 32-bit emulation), and some withhold
# 32-bit code even inside a 64-bit process. Two probes, built once under build/compat32 with
# the machine's own tools (scripts/setup.sh installs them): a static 32-bit program that exits
# with a known status, and a 64-bit one that far-jumps into the kernel's 32-bit code segment.
#
# A probe that cannot be built says nothing about the machine: it is a fault of the set-up, and
# must never pass for a machine without 32-bit code (that would skip the shipped program's tests).

COMPAT32_DIR="$PWD/build/compat32"

# Succeeds when both probes run. Otherwise prints why, and fails with 1 where a probe ran and
# showed that this machine runs no 32-bit code, or with 2 where a probe could not be built.
runs_32bit_code() {
  mkdir -p "$COMPAT32_DIR"
  local elf="$COMPAT32_DIR/elf32-probe" jump="$COMPAT32_DIR/compat32-probe" status=0
  local log="$COMPAT32_DIR/build.log"
  if [ ! -x "$elf" ] || [ scripts/elf32-probe.s -nt "$elf" ]; then
    { as --32 -o "$elf.o" scripts/elf32-probe.s && ld -m elf_i386 -o "$elf" "$elf.o"; } \
      >"$log" 2>&1 || {
      rm -f "$elf"
      echo "the 32-bit probe program did not build with as --32 and ld -m elf_i386" \
        "(binutils; see $log)"
      return 2
    }
  fi
  "$elf" >/dev/null 2>&1 || status=$?
  if [ "$status" != 32 ]; then
    echo "this machine runs no 32-bit program: a static 32-bit probe exited with status $status, not 32"
    return 1
  fi
  if [ ! -x "$jump" ] || [ scripts/compat32-probe.c -nt "$jump" ]; then
    cc -O1 -no-pie -o "$jump" scripts/compat32-probe.c >"$log" 2>&1 || {
      rm -f "$jump"
      echo "the 32-bit code segment probe did not build with cc (gcc and libc6-dev; see $log)"
      return 2
    }
  fi
  local jumped=0
  "$jump" || jumped=$?
  case $jumped in
    0 | 1) return "$jumped" ;; # 1: the probe said why
    *) echo "the 32-bit code segment probe could not try the jump (status $jumped)"; return 1 ;;
  esac
}

# compat32_check: runs_32bit_code for a script, with its reason in COMPAT32_REASON. A probe that
# could not be built ends the script with one line and a non-zero exit.
compat32_check() {
  local status=0
  COMPAT32_REASON=$(runs_32bit_code) || status=$?
  if [ "$status" = 2 ]; then
    echo "set-up fault: $COMPAT32_REASON; scripts/setup.sh installs what the probes need" >&2
    exit 1
  fi
  [ "$status" = 0 ]
}
