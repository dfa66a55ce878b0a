#!/usr/bin/env bash
# Installs what is missing, checks the sources' formatting, builds the shipped 32-bit program and
# its 64-bit twin with their tests (warnings are errors), and runs the whole suite for each, one
# after the other, each in a Wine prefix of its own under Xvfb: the i686 build on Wine's 32-bit
# loader beside a 64-bit prefix, as it runs on 64-bit Windows, then the x86_64 build. A suite
# includes the installer examples' tests, each installer in a prefix of its own. Where this
# machine runs no 32-bit code, the i686 suite is reported as not run, and why. Arguments go to
# ctest (for example -R test_soak). Then the release checks: two release builds give the same
# bytes, and the package is right. Exits non-zero when any of it fails. Ends with the tests
# passed and skipped per build, the reasons for the skips, and the reliability figures.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
scripts/check-format.sh

for arch in i686 x86_64; do
  cmake --preset "$arch" -DFINISHINSTALL_WERROR=ON >/dev/null
  cmake --build --preset "$arch" -j"$(nproc)"
done

. scripts/wine-env.sh
. scripts/compat32.sh
export FINISHINSTALL_XVFB=1

# sum_gtest LOG WORD: the test cases GoogleTest reported under [  WORD ] across a CTest log.
sum_gtest() {
  awk -v word="$2" '$0 ~ "^\\[ +" word " +\\] [0-9]+ test" {
                      sub("^\\[ +" word " +\\] ", ""); n += $1 } END { print n + 0 }' "$1"
}

# installer_results LOG: each installer example's test in a CTest log and how it ended, for
# example "nsis passed, inno failed". They are whole-program checks, not GoogleTest cases.
installer_results() {
  awk '/^[0-9]+\/[0-9]+ Test: test_installer_/ { name = $3; sub("^test_installer_", "", name) }
       name != "" && /^Test (Passed|Failed)/ {
         printf "%s%s %s", sep, name, tolower($2) == "passed." ? "passed" : "failed"; sep = ", "
         name = "" }' "$1"
}

status=0
summary=()
for arch in i686 x86_64; do
  log="build/$arch/Testing/Temporary/LastTest.log"
  rm -f "$log"
  if [ "$arch" = i686 ] && ! reason=$(runs_32bit_code); then
    summary+=("$arch: not run: $reason")
    continue
  fi
  echo
  echo "=== $arch suite ==="
  wine_env_start "$PWD/build/$arch"
  ctest --preset "$arch" "$@" || status=1
  if [ -f "$log" ]; then
    summary+=("$arch: $(sum_gtest "$log" PASSED) passed, $(sum_gtest "$log" SKIPPED) skipped, $(sum_gtest "$log" FAILED) failed")
    installers=$(installer_results "$log")
    [ -z "$installers" ] || summary+=("  installers: $installers")
    # GoogleTest prints a skip as "file:line: Skipped" with the reason on the next line.
    while IFS= read -r line; do summary+=("  skipped: $line"); done < <(
      awk 'skip { print; skip = 0 } /: Skipped$/ { skip = 1 }' "$log" | sort | uniq -c |
        sed 's/^ *\([0-9]*\) /\1 x /')
  else
    summary+=("$arch: no test ran")
    status=1
  fi
done

echo
# Two release builds give the same bytes; the package holds what it should.
echo "=== release checks ==="
scripts/release-check.sh || status=1

echo
printf '%s\n' "${summary[@]}"
# The figures the reliability checks print: the soak's counts and each fault case's finding,
# "checked:" for a case whose every check held, "FAILED:" (with the same words) otherwise.
for arch in i686 x86_64; do
  log="build/$arch/Testing/Temporary/LastTest.log"
  [ -f "$log" ] || continue
  echo
  echo "$arch figures:"
  grep -h -E '^(run lists:|checked:|FAILED:)' "$log" || true
done
exit $status
