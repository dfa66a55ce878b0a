#!/usr/bin/env bash
# Installs what is missing, builds the shipped 32-bit program and the 64-bit test build, and
# runs every test under wine64 in an isolated prefix, under Xvfb. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
scripts/check-format.sh

# Warnings are errors here, so that no warning lands.
cmake --preset i686 -DFINISHINSTALL_WERROR=ON >/dev/null
cmake --build --preset i686 -j"$(nproc)"
cmake --preset x86_64 -DFINISHINSTALL_WERROR=ON >/dev/null
cmake --build --preset x86_64 -j"$(nproc)"

. scripts/wine-env.sh
FINISHINSTALL_XVFB=1 wine_env_start "$PWD/build/x86_64"

status=0
ctest --preset x86_64 "$@" || status=$?
# The figures the reliability checks print: the soak's counts and each fault case's finding,
# "checked:" for a case whose every check held, "FAILED:" (with the same words) otherwise.
echo
grep -h -E '^(run lists:|checked:|FAILED:)' build/x86_64/Testing/Temporary/LastTest.log || true
exit $status
