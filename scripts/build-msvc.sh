#!/usr/bin/env bash
# scripts/build-msvc.sh i686|x86_64: the program built as Visual Studio builds it, without Visual
# Studio: clang-cl, lld-link and llvm-rc against Wine's SDK (cmake/clang-cl-ARCH.cmake), at /W4
# /WX, into build/msvc-ARCH/FinishInstall.exe. Then its PE header is checked for what the
# Visual Studio link asks: DYNAMIC_BASE, NX_COMPAT, TERMINAL_SERVICE_AWARE, GUARD_CF, subsystem
# 6.1, and on i686 a SafeSEH table. Needs Debian 13's LLVM 19 and Wine 10 (scripts/setup.sh
# installs them there); elsewhere it says so in one line and exits 0.
set -euo pipefail
cd "$(dirname "$0")/.."

arch=${1:-}
case $arch in
  i686 | x86_64) ;;
  *)
    echo "usage: scripts/build-msvc.sh i686|x86_64" >&2
    exit 2
    ;;
esac
debian_release=$(. /etc/os-release && [ "${ID:-}" = debian ] && echo "${VERSION_ID:-0}" || echo 0)
if [ "$debian_release" -lt 13 ]; then
  echo "build-msvc: not built: needs Debian 13 or later (clang-cl 19, Wine 10's SDK)," \
    "this is $(. /etc/os-release && echo "${PRETTY_NAME:-an unknown system}")"
  exit 0
fi

dir=build/msvc-$arch
mkdir -p "$dir"
cmake --fresh -S . -B "$dir" --toolchain "cmake/clang-cl-$arch.cmake" -DCMAKE_BUILD_TYPE=MinSizeRel \
  -DFINISHINSTALL_TESTS=OFF -DFINISHINSTALL_WERROR=ON >"$dir/configure.log" 2>&1 ||
  { cat "$dir/configure.log"; exit 1; }
# Built anew, so that every object's warnings are in the log.
cmake --build "$dir" --target FinishInstall stand_in_crt_probe --clean-first -j"$(nproc)" >"$dir/build.log" 2>&1 ||
  { cat "$dir/build.log"; exit 1; }
warnings=$(grep -c -i -E 'warning' "$dir/build.log" || true)
if [ "$warnings" != 0 ]; then
  grep -i -E 'warning' "$dir/build.log"
  echo "build-msvc: $arch: $warnings warnings" >&2
  exit 1
fi
exe=$dir/FinishInstall.exe
scripts/msvc-pe-check.sh "$arch" "$exe"
echo "build-msvc: $arch: $exe, $(stat -c %s "$exe") bytes, 0 warnings at /W4 /WX"
