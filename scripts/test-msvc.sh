#!/usr/bin/env bash
# scripts/test-msvc.sh: the Visual Studio-style builds, made and tested. Run after the test
# command (scripts/test.sh), whose mingw builds' test bundles and Wine prefix template it uses.
# For i686 and x86_64: scripts/build-msvc.sh (at /W4 /WX, 0 warnings, its PE header checked),
# the probe of the stand-in start-up (cmake/msvc-crt), then the whole-program tests,
# test_program and test_program_no_display, through the bundle's runner with --program naming
# the Visual Studio-style FinishInstall.exe in place of the bundle's own. The i686 programs run
# where this machine runs 32-bit code, and say why not elsewhere. One line per build and per
# case; exits non-zero on any failure. Needs Debian 13: elsewhere it says so in one line and
# exits 0.
set -uo pipefail
cd "$(dirname "$0")/.."

. scripts/wine-env.sh
. scripts/compat32.sh
export FINISHINSTALL_XVFB=1
export WINE_ENV_TEMPLATE=$PWD/build/wineprefix-template
readonly CLOSING='^[0-9]+ passed, [0-9]+ failed, [0-9]+ skipped$'

status=0
for arch in i686 x86_64; do
  log=build/msvc-$arch.log
  mkdir -p build
  if ! scripts/build-msvc.sh "$arch" >"$log" 2>&1; then
    echo "msvc $arch: build FAILED; its output is in $log:"
    tail -n 20 "$log"
    status=1
    continue
  fi
  if grep -q '^build-msvc: not built' "$log"; then
    cat "$log"
    exit 0
  fi
  grep -E '^(checked|build-msvc):' "$log" | sed "s/^/msvc $arch: /"
  if [ "$arch" = i686 ] && ! compat32_check; then
    echo "msvc $arch: stand_in_crt_probe and test_program not run: $COMPAT32_REASON"
    continue
  fi
  # The stand-in start-up, from inside a program built on it (cmake/msvc-crt/StandInCrtProbe.cpp).
  probe_dir=$PWD/build/msvc-$arch/probe
  marker=$probe_dir/marker
  (
    unset XVFB_PID WINE_ENV_STARTED
    rm -rf "$probe_dir"
    wine_env_start "$probe_dir" >"$probe_dir.start.log" 2>&1
    "$WINE64" "build/msvc-$arch/stand_in_crt_probe.exe" check "$(winpath "$marker")" </dev/null \
      >"$probe_dir.log" 2>&1
  )
  probe_status=$?
  if [ "$probe_status" != 0 ] || [ ! -f "$marker" ]; then
    echo "msvc $arch: stand_in_crt_probe FAILED: exit $probe_status (101 and up name the check" \
      "in cmake/msvc-crt/StandInCrtProbe.cpp)$([ -f "$marker" ] || echo ", no marker from atexit")"
    status=1
  else
    echo "msvc $arch: checked: the stand-in start-up: static initialisers, WinMain's arguments," \
      "cookie filled, 256 KiB frame probed, guarded indirect call, an overrun ends the process" \
      "with STATUS_STACK_BUFFER_OVERRUN and a write within the buffer does not, atexit at exit"
  fi
  zips=("build/$arch"/FinishInstall-*-tests-win*.zip)
  if [ ! -f "${zips[0]}" ]; then
    echo "msvc $arch: no test bundle in build/$arch: the test command did not make it"
    status=1
    continue
  fi
  bundle=$(basename "${zips[0]}" .zip)
  program=$(winpath "$PWD/build/msvc-$arch/FinishInstall.exe")
  for testcase in test_program test_program_no_display; do
    dir=$PWD/build/msvc-$arch/lanes/$testcase
    setting=FINISHINSTALL_BUNDLE_PLAIN=1
    [ "$testcase" = test_program ] || setting=FINISHINSTALL_BUNDLE_NO_DISPLAY=1
    mkdir -p "$(dirname "$dir")"
    start=$(date +%s)
    (
      unset XVFB_PID WINE_ENV_STARTED
      env "$setting" scripts/run-bundle.sh "$PWD/${zips[0]}" "$dir" "--program=$program" \
        "$testcase"
    ) >"$dir.out" 2>&1
    case_status=$?
    run_log=$(tr -d '\r' <"$dir/run.log" 2>/dev/null || cat "$dir.out")
    case_log=$(tr -d '\r' <"$dir/wineprefix/drive_c/$bundle/$testcase.log" 2>/dev/null || true)
    closing=$(grep -E "$CLOSING" <<<"$run_log" | tail -n 1)
    seconds=$(($(date +%s) - start))
    # The case must have tested the program named, not the bundle's own.
    if ! grep -qxF "program under test: $program" <<<"$case_log"; then
      echo "msvc $arch: $testcase FAILED: its log does not name $program as the program under" \
        "test; the run's output is in $dir.out"
      status=1
    elif [ "$case_status" != 0 ]; then
      echo "msvc $arch: $testcase FAILED (exit $case_status): ${closing:-no closing line};" \
        "its output is in $dir/wineprefix/drive_c/$bundle/$testcase.log"
      grep -E '^\[  FAILED  \]' <<<"$case_log" | sort -u
      status=1
    else
      echo "msvc $arch: $testcase against build/msvc-$arch/FinishInstall.exe: $closing, $seconds s"
    fi
  done
done
exit $status
