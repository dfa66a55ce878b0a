#!/usr/bin/env bash
# The README's test command, and CI's: the format check, both builds with warnings as errors,
# both suites under Wine, and the release checks; then what passed, was skipped (with the
# reasons) and failed per build, and the reliability figures. Arguments go to CTest and select
# the tests of both suites (for example -R test_soak).
#
# The GoogleTest programs run as a Windows machine runs them: each build's test bundle (the
# tests-bundle target) unpacked into the C:\ of a fresh prefix and started as
# `cmd /c run-tests.cmd CASE...` with nothing but Wine's own variables (scripts/run-bundle.sh).
# The installer examples' tests, which need Linux's engines, run under CTest.
#
# The suites spend most of their time waiting on the program's one-second look at a running
# step, so they run side by side, and each in lanes: the bundle's slowest cases apart from the
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

# A test goes to the first lane whose pattern matches its name; a lane is the bundle's unless
# it is CTest's. Two cases need a machine setting Wine takes from the environment, and have a
# bundle run of their own with it, as a Windows machine with that setting: a double-byte system
# code page (a Japanese locale) and no display. Sized from the tests' times on an idle machine.
readonly LANES=("program ^test_program$" "nodisplay ^test_program_no_display$"
                "codepage ^test_framework_cp932$" "soak ^test_(soak|framework)$"
                "installers ^test_installer_" "units .")
readonly CTEST_LANES=" installers "
# lane_settings LANE: what run-bundle.sh gives the lane's machine.
lane_settings() {
  case $1 in
    codepage) echo FINISHINSTALL_BUNDLE_LC_ALL=ja_JP.UTF-8 ;;
    nodisplay) echo FINISHINSTALL_BUNDLE_NO_DISPLAY=1 ;;
    *) echo FINISHINSTALL_BUNDLE_PLAIN=1 ;;
  esac
}
# The runner's closing line.
readonly CLOSING='^[0-9]+ passed, [0-9]+ failed, [0-9]+ skipped$'

# bundle_zip ARCH: the build's test bundle.
bundle_zip() {
  local zips=("build/$1"/FinishInstall-*-tests-win*.zip)
  echo "$PWD/${zips[0]}"
}

# check_bundle_paths ARCH: no program of the bundle names a folder of this machine (the
# sources, the build, the compilers' and GoogleTest's).
check_bundle_paths() {
  local dir found
  dir=$(ls -d "build/$1/bundle"/FinishInstall-*-tests-win*)
  found=$(grep -l -a -E "$PWD|/usr/(src|lib|include|share|[a-z0-9_]+-w64-mingw32)/|/root/|/home/" \
    "$dir"/*.exe || true)
  [ -z "$found" ] || {
    echo "=== $1 test bundle: these programs name folders of the build machine: $found ==="
    return 1
  }
}

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

# run_bundle_lane ARCH LANE CASE...: the cases, in a run of the build's test bundle in a prefix
# of the lane's own (scripts/run-bundle.sh); the runner's output, then each case's whole output,
# in the lane's log, its exit status and end time beside it, and a line saying how it ended: the
# runner's closing line and its time.
run_bundle_lane() {
  local arch=$1 lane=$2 dir=$PWD/build/$1/lanes/$2
  shift 2
  mkdir -p "$(dirname "$dir")"
  local status=0 start end zip bundle closing testcase
  start=$(date +%s)
  zip=$(bundle_zip "$arch")
  bundle=$(basename "$zip" .zip)
  (
    unset XVFB_PID WINE_ENV_STARTED
    env "$(lane_settings "$lane")" scripts/run-bundle.sh "$zip" "$dir" "$@"
  ) >"$dir.out" 2>&1 || status=$?
  {
    tr -d '\r' 2>/dev/null <"$dir/run.log" || cat "$dir.out"
    for testcase in "$@"; do
      echo "=== $testcase: its whole output ==="
      tr -d '\r' 2>/dev/null <"$dir/wineprefix/drive_c/$bundle/$testcase.log" || true
    done
  } >"$dir.log"
  echo "$status" >"$dir.status"
  end=$(date +%s)
  echo "$end" >"$dir.end"
  closing=$(tr -d '\r' 2>/dev/null <"$dir/run.log" | grep -E "$CLOSING" | tail -n 1 || true)
  echo "${closing:-no closing line}" >"$dir.closing"
  echo "$*" >"$dir.cases"
  if [ "$status" = 0 ]; then
    echo "$arch lane $lane: run-tests.cmd $*: $closing, $(seconds $((end - start)))"
  else
    echo "$arch lane $lane: FAILED, run-tests.cmd $* exited with $status:" \
      "${closing:-no closing line}, $(seconds $((end - start))); its log is" \
      "build/$arch/lanes/$lane.log"
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
  rm -rf "build/$arch/lanes"/*.{log,out,status,end,closing,cases} "build/$arch/test.log"
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
    if [[ $CTEST_LANES == *" $lane "* ]]; then
      run_lane "$arch" "$lane" "^(${tests[$lane]#|})\$" "$@" &
    else
      # shellcheck disable=SC2086 # case names, one word each
      run_bundle_lane "$arch" "$lane" ${tests[$lane]//|/ } &
    fi
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
      grep -E '^([0-9]+: )?\[  FAILED  \]|^[a-z0-9_]+: .*[1-9][0-9]* failed|^left behind:' "$log" |
        sed -E 's/^[0-9]+: //' | sort -u || true
    fi
  done
  return $failed
}

archs=(i686 x86_64)
prefix_check=
status=0
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
  cmake --build --preset "$arch" --target tests-bundle >"build/$arch/tests-bundle.log"
  check_bundle_paths "$arch" || status=1
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
    # The bundle runs' closing lines, added up: GoogleTest's cases of the whole suite.
    read -r passed failed skipped < <(cat "build/$arch/lanes/"*.closing 2>/dev/null |
      awk '/passed, .* failed, .* skipped/ { p += $1; f += $3; s += $5 } END { print p+0, f+0, s+0 }')
    total_passed=$((total_passed + passed)) total_failed=$((total_failed + failed))
    total_skipped=$((total_skipped + skipped))
    summary+=("$arch: $passed passed, $skipped skipped, $failed failed; suite wall time $(seconds "$wall")")
    for closing in "build/$arch/lanes/"*.closing; do
      [ -f "$closing" ] || continue
      lane=$(basename "$closing" .closing)
      summary+=("  run-tests.cmd $(cat "build/$arch/lanes/$lane.cases"): $(cat "$closing")")
    done
    installers=$(installer_results "$log")
    [ -z "$installers" ] || summary+=("  installers: $installers")
    # The runner prints each skip's reason as "  skipped: why".
    while IFS= read -r line; do summary+=("  skipped: $line"); done < <(
      cat "build/$arch/lanes/"*/run.log 2>/dev/null | tr -d '\r' |
        sed -n 's/^  skipped: //p; s/^\([a-z0-9_]*: [0-9]* skipped: .*\)/\1/p' | sort | uniq -c |
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
