# Sourced by the scripts: where the 32-bit Windows DLLs for Wine's WoW64 mode live, and whether
# this machine can run 32-bit code at all.

WOW64_DIR="$PWD/build/wow64"
WOW64_DLLPATH="$WOW64_DIR/root/usr/lib/i386-linux-gnu/wine"

# Succeeds when this machine runs 32-bit code inside a 64-bit process; otherwise prints why and
# fails. Built once from scripts/compat32-probe.c with the machine's own compiler.
wow64_runs_32bit_code() {
  local probe="$WOW64_DIR/compat32-probe"
  if [ ! -x "$probe" ] || [ scripts/compat32-probe.c -nt "$probe" ]; then
    mkdir -p "$WOW64_DIR"
    cc -O1 -no-pie -o "$probe" scripts/compat32-probe.c || {
      echo "the 32-bit probe did not build"
      return 1
    }
  fi
  "$probe"
}
