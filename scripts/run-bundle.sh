#!/usr/bin/env bash
# scripts/run-bundle.sh ZIP DIR [CASE...]: a test bundle run as on a Windows machine. A fresh Wine
# prefix in DIR (a copy of WINE_ENV_TEMPLATE where that is set), the zip unpacked into its C:\, far
# from the build folder, and `cmd /c run-tests.cmd [CASE...]` started there in an environment that
# holds only what Wine itself needs: WINEPREFIX, DISPLAY, WINEDEBUG, WINEDLLOVERRIDES and a UTF-8
# LANG. Two machine settings Wine takes from the environment may be asked for, as a machine with
# that setting: FINISHINSTALL_BUNDLE_LC_ALL sets LC_ALL (the system locale, and so the code page),
# and FINISHINSTALL_BUNDLE_NO_DISPLAY=1 leaves DISPLAY out (no window can be shown). The runner's
# output goes to DIR/run.log; the exit status is the runner's.
set -euo pipefail
cd "$(dirname "$0")/.."

zip=$1 dir=$2
shift 2
. scripts/wine-env.sh
unset XVFB_PID WINE_ENV_STARTED
rm -rf "$dir"
wine_env_start "$dir" >"$dir.start.log" 2>&1
bundle=$(basename "$zip" .zip)
# CMake's own unzip: a minimal machine has no unzip.
(cd "$WINEPREFIX/drive_c" && cmake -E tar xf "$zip")
settings=(LANG=C.UTF-8)
[ -z "${FINISHINSTALL_BUNDLE_LC_ALL:-}" ] || settings+=("LC_ALL=$FINISHINSTALL_BUNDLE_LC_ALL")
[ "${FINISHINSTALL_BUNDLE_NO_DISPLAY:-0}" = 1 ] || settings+=("DISPLAY=$DISPLAY")
status=0
env -i WINEPREFIX="$WINEPREFIX" WINEDEBUG="$WINEDEBUG" WINEDLLOVERRIDES="$WINEDLLOVERRIDES" \
  "${settings[@]}" \
  "$WINE64" cmd /c "C:\\$bundle\\run-tests.cmd" "$@" >"$dir/run.log" 2>&1 </dev/null || status=$?
exit "$status"
