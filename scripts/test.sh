#!/usr/bin/env bash
# The README's test command, and CI's: the format check, both builds with warnings as errors,
# both suites under Wine, each in its own prefixes under Xvfb, and the release checks; then what
# passed, was skipped (with the reasons) and failed per build, and the reliability figures.
# Arguments go to CTest and select the tests of both suites (for example -R test_soak).
#
# The suites spend most of their time waiting on the program's one-second look at a running
# step, so they run side by side, and each in lanes: its slowest test binaries apart from the
# rest, each lane in a prefix, on a display and with a wineserver of its own (the tests of one
# prefix share its registry, so they run one after another). A suite starts as soon as its own
# build is done, while the next build runs; the release checks run beside the suites. Each
# lane's output goes to build/<arch>/lanes/<lane>.log, and a suite's to build/<arch>/test.log;
# a line says how each lane ended as it ends.
set -euo pipefail
cd "$(dirname "$0")/.."
readonly started=$(date +%s)

scripts/setup.sh
scripts/check-format.sh

. scripts/wine-env.sh
. scripts/compat32.sh
export FINISHINSTALL_XVFB=1
# Every prefix of the run, the installer tests' too, is a copy of one made once and kept,
# sharing its system files with it (wine_env_copy).
export WINE_ENV_TEMPLATE=$PWD/build/wineprefix-template

# A test goes to the first lane whose pattern matches its name. Sized from the tests' times on
# an idle machine: about 100 s a lane.
readonly LANES=("program ^test_program" "soak ^test_(soak|framework)" "installers ^test_installer_"
                "units .")

# sum_gtest WORD LANE_LOG...: the test cases GoogleTest reported under [  WORD ] in the lanes'
# logs. Counted from the lines CTest numbers as a test's output: a failed test's output comes
# again, unnumbered, after its result.
sum_gtest() {
  local word=$1
  shift
  awk -v word="$word" '$0 ~ "^[0-9]+: \\[ +" word " +\\] [0-9]+ test" {
                         sub("^[0-9]+: \\[ +" word " +\\] ", ""); n += $1 }
                       END { print n + 0 }' "$@"
}

# installer_results LOG: each installer example's test in a suite's log and how it ended, for
# example "nsis passed, inno failed". They are whole-program checks, not GoogleTest cases.
installer_results() {
  awk '/Test +#[0-9]+: test_installer_/ {
         name = $0; sub(".*: test_installer_", "", name); sub(" .*", "", name)
         printf "%s%s %s", sep, name, / Passed / ? "passed" : "failed"; sep = ", " }' "$1"
}

# seconds N: N seconds as minutes and seconds.
seconds() { printf '%d min %02d s' $(($1 / 60)) $(($1 % 60)); }

# run_lane ARCH LANE REGEX [CTEST ARGUMENTS]: the suite's tests that REGEX names, in the lane's
# own prefix and display; its output, exit status and end time in files beside the lane, and a
# line saying how it ended: its tests passed and failed (GoogleTest's cases and the installer
# tests) and its time.
run_lane() {
  local arch=$1 lane=$2 regex=$3 dir=$PWD/build/$1/lanes/$2
  shift 3
  mkdir -p "$dir"
  local status=0 start end installers passed failed
  start=$(date +%s)
  (
    unset XVFB_PID WINE_ENV_STARTED
    wine_env_start "$dir"
    ctest --preset "$arch" -V "$@" -R "$regex"
  ) >"$dir.log" 2>&1 || status=$?
  echo "$status" >"$dir.status"
  end=$(date +%s)
  echo "$end" >"$dir.end"
  installers=$(installer_results "$dir.log" | tr , '\n')
  passed=$(sum_gtest PASSED "$dir.log") failed=$(sum_gtest FAILED "$dir.log")
  passed=$((passed + $(grep -c ' passed' <<<"$installers" || true)))
  failed=$((failed + $(grep -c ' failed' <<<"$installers" || true)))
  if [ "$status" = 0 ]; then
    echo "$arch lane $lane: $passed passed, $failed failed, $(seconds $((end - start)))"
  else
    echo "$arch lane $lane: FAILED, $passed passed, $failed failed, $(seconds $((end - start)));" \
      "its log is build/$arch/lanes/$lane.log"
  fi
}

# check_prefix_copies: a copy of the template written through Wine as the tests write (a new
# file among the system's, an .ini file Wine rewrites in place, a file in Program Files, the
# registry) leaves the template, and a copy made beside it as another lane's is, as they were.
check_prefix_copies() {
  local dir=$PWD/build/prefix-check template=$WINE_ENV_TEMPLATE problems=()
  rm -rf "$dir"
  wine_env_copy "$template" "$dir/other/wineprefix"
  (
    unset XVFB_PID WINE_ENV_STARTED
    wine_env_start "$dir/written"
    printf '%s\r\n' 'echo written>C:\windows\system32\written.dll' \
      'echo written>>C:\windows\win.ini' 'echo written>"C:\Program Files\written.txt"' \
      >"$WINEPREFIX/drive_c/write.bat"
    "$WINE64" cmd /c 'C:\write.bat'
    "$WINE64" reg add 'HKLM\Software\PrefixCheck' /v written /d yes /f
    wineserver -k
    wineserver -w
  ) >"$dir.log" 2>&1 || true
  local written=$dir/written/wineprefix
  for file in drive_c/windows/system32/written.dll drive_c/windows/win.ini \
              "drive_c/Program Files/written.txt" system.reg; do
    grep -qi written "$written/$file" 2>/dev/null ||
      problems+=("the lane's prefix lacks what was written in $file (see $dir.log)")
    ! grep -qi written "$template/$file" 2>/dev/null ||
      problems+=("what the lane wrote in $file reached the template")
  done
  wine_env_check_template "$template" >"$dir.template" || problems+=("$(cat "$dir.template")")
  diff -r --no-dereference "$template" "$dir/other/wineprefix" >"$dir.other" 2>&1 ||
    problems+=("the other lane's prefix differs from the template: $(head -n 5 "$dir.other")")
  if [ ${#problems[@]} = 0 ]; then
    rm -rf "$dir" "$dir".*
  else
    echo "=== prefix copies: FAILED ==="
    printf '%s\n' "${problems[@]}"
    return 1
  fi
}

# start_suite ARCH [CTEST ARGUMENTS]: the suite's lanes, started in the background.
start_suite() {
  local arch=$1 name def lane pattern dir
  shift
  rm -rf "build/$arch/lanes"/*.{log,status,end} "build/$arch/test.log"
  # A lane of an earlier LANES would never be used again: its prefix goes.
  for dir in "build/$arch/lanes"/*/; do
    [ -d "$dir" ] || continue
    [[ " ${LANES[*]} " == *" $(basename "$dir") "* ]] || rm -rf "$dir"
  done
  date +%s >"build/$arch/suite.start"
  local -A tests=()
  for name in $(ctest --preset "$arch" -N "$@" | sed -n 's/^ *Test *#[0-9]*: //p'); do
    for def in "${LANES[@]}"; do
      read -r lane pattern <<<"$def"
      if [[ $name =~ $pattern ]]; then
        tests[$lane]+="|$name"
        break
      fi
    done
  done
  for def in "${LANES[@]}"; do
    read -r lane _ <<<"$def"
    [ -n "${tests[$lane]:-}" ] || continue
    run_lane "$arch" "$lane" "^(${tests[$lane]#|})\$" "$@" &
  done
}

# finish_suite ARCH: the lanes' logs joined into the suite's, without CTest's test numbers
# before each line of output; a lane that failed is named, with its failures and its log.
finish_suite() {
  local arch=$1 def lane log failed=0
  local suite_log=build/$arch/test.log
  : >"$suite_log"
  for def in "${LANES[@]}"; do
    read -r lane _ <<<"$def"
    log=build/$arch/lanes/$lane.log
    [ -f "$log" ] || continue
    sed -E 's/^[0-9]+: //' "$log" >>"$suite_log"
    if [ "$(cat "build/$arch/lanes/$lane.status")" != 0 ]; then
      failed=1
      echo
      echo "=== $arch suite, lane $lane: FAILED; its whole output is in $log ==="
      sed -n '/^The following tests FAILED:/,$p' "$log"
      grep -E '^[0-9]+: \[  FAILED  \]' "$log" | sed -E 's/^[0-9]+: //' | sort -u || true
    fi
  done
  return $failed
}

archs=(i686 x86_64)
prefix_check=
suites=()
if compat32_check; then suites+=(i686); fi
reason32=$COMPAT32_REASON
suites+=(x86_64)

for arch in "${archs[@]}"; do
  cmake --preset "$arch" -DFINISHINSTALL_WERROR=ON >/dev/null
done
mkdir -p build
wine_env_make_template "$WINE_ENV_TEMPLATE" >build/wineprefix-template.log 2>&1 &
template=$!

for arch in "${archs[@]}"; do
  cmake --build --preset "$arch" -j"$(nproc)"
  if [[ " ${suites[*]} " == *" $arch "* ]]; then
    if [ -n "$template" ]; then
      wait "$template" || { cat build/wineprefix-template.log; exit 1; }
      template=
      check_prefix_copies &
      prefix_check=$!
    fi
    echo "=== $arch suite started after $(seconds $(($(date +%s) - started))); its output goes to build/$arch/test.log ==="
    start_suite "$arch" "$@"
  fi
done

# Two release builds give the same bytes; the package holds what it should. Beside the suites,
# which mostly wait.
echo "=== release checks, after $(seconds $(($(date +%s) - started))) ==="
status=0
scripts/release-check.sh 2>&1 | tee build/release-check.log || status=1

[ -z "$prefix_check" ] || wait "$prefix_check" || status=1
wait
# No test may have written through a file the prefixes share.
[ -z "$prefix_check" ] || wine_env_check_template "$WINE_ENV_TEMPLATE" || status=1
summary=()
total_passed=0 total_failed=0 total_skipped=0
[[ " ${suites[*]} " == *" i686 "* ]] || summary+=("i686: not run: $reason32")
for arch in "${suites[@]}"; do
  finish_suite "$arch" || status=1
  log=build/$arch/test.log
  if [ -s "$log" ]; then
    wall=$(($(cat "build/$arch/lanes/"*.end | sort -n | tail -n 1) - $(cat "build/$arch/suite.start")))
    lane_logs=("build/$arch/lanes/"*.log)
    passed=$(sum_gtest PASSED "${lane_logs[@]}") skipped=$(sum_gtest SKIPPED "${lane_logs[@]}")
    failed=$(sum_gtest FAILED "${lane_logs[@]}")
    total_passed=$((total_passed + passed)) total_failed=$((total_failed + failed))
    total_skipped=$((total_skipped + skipped))
    summary+=("$arch: $passed passed, $skipped skipped, $failed failed; suite wall time $(seconds "$wall")")
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

# The closing lines, also kept in build/summary.txt for whoever started the command from elsewhere
# (scripts/test-in-debian.sh, CI).
print_summary() {
  echo
  printf '%s\n' "${summary[@]}"
  # The figures the reliability checks print: the soak's counts and each fault case's finding,
  # "checked:" for a case whose every check held, "FAILED:" (with the same words) otherwise.
  for arch in "${suites[@]}"; do
    echo
    echo "$arch figures:"
    grep -h -E '^(run lists:|checked:|FAILED:)' "build/$arch/test.log" || true
  done
  # The release checks' own: the signed release program's and sign.sh's refusals.
  echo
  echo "release figures:"
  grep -h -E '^(checked:|release-check: FAILED:)' build/release-check.log || true
  echo
  echo "GoogleTest: $total_passed passed, $total_failed failed, $total_skipped skipped"
  echo "the test command took $(seconds $(($(date +%s) - started)))"
}
print_summary | tee build/summary.txt
exit $status
