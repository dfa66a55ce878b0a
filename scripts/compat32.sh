# Sourced by the scripts: whether this machine runs 32-bit code, the one thing the shipped
# program's suite, demo and start-up figures need. Wine's 32-bit loader (Debian's wine32:i386)
# is a 32-bit Linux program; some kernels run none (no 32-bit emulation), and some withhold
# 32-bit code even inside a 64-bit process. Two probes, built once under build/compat32 with
# the machine's own tools: a static 32-bit program that exits with a known status, and a
# 64-bit one that far-jumps into the kernel's 32-bit code segment.

COMPAT32_DIR="$PWD/build/compat32"

# Succeeds when both probes run; otherwise prints why and fails.
runs_32bit_code() {
  mkdir -p "$COMPAT32_DIR"
  local elf="$COMPAT32_DIR/elf32-probe" jump="$COMPAT32_DIR/compat32-probe" status=0
  if [ ! -x "$elf" ] || [ scripts/elf32-probe.s -nt "$elf" ]; then
    as --32 -o "$elf.o" scripts/elf32-probe.s && ld -m elf_i386 -o "$elf" "$elf.o" || {
      echo "the 32-bit probe program did not build (as --32, ld -m elf_i386)"
      return 1
    }
  fi
  "$elf" >/dev/null 2>&1 || status=$?
  if [ "$status" != 32 ]; then
    echo "this machine runs no 32-bit program: a static 32-bit probe exited with status $status, not 32"
    return 1
  fi
  if [ ! -x "$jump" ] || [ scripts/compat32-probe.c -nt "$jump" ]; then
    cc -O1 -no-pie -o "$jump" scripts/compat32-probe.c || {
      echo "the 32-bit code segment probe did not build"
      return 1
    }
  fi
  "$jump"
}
