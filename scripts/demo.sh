#!/usr/bin/env bash
# The program's main job, end to end: builds it, makes an isolated Wine prefix, writes a sample
# run list as an installer would, runs FinishInstall.exe and shows what changed in the registry.
# On a machine without a display it runs under Xvfb and saves screenshots taken while steps run.
# It shows the shipped 32-bit build where this machine runs 32-bit code, else its 64-bit twin.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/setup.sh
. scripts/compat32.sh
if compat32_check; then
  arch=i686
  why="the shipped 32-bit build, on Wine's 32-bit loader"
else
  arch=x86_64
  why="the 64-bit twin of the shipped 32-bit program, because $COMPAT32_REASON"
fi
cmake --preset "$arch" >/dev/null
cmake --build --preset "$arch" -j"$(nproc)" --target FinishInstall childprobe >/dev/null

demo="$root/build/demo"
mkdir -p "$demo"
. scripts/wine-env.sh
headless=0
if [ -z "${DISPLAY:-}" ] || [ "${FINISHINSTALL_XVFB:-0}" = 1 ]; then headless=1; fi
wine_env_start "$demo"
# The run list goes into the registry view the program reads: for a 32-bit program the 32-bit
# one, which Wine's regedit and reg show when started by the 32-bit loader.
regtool=$WINE64
[ "$arch" = i686 ] && regtool=/usr/lib/wine/wine

# The product as the installer left it: C:\DemoTool with its Setup folder and two programs of its
# own (stand-ins that take a few seconds), a settings file to import, and the run list.
tool="$WINEPREFIX/drive_c/DemoTool"
mkdir -p "$tool/Setup"
rm -f "$tool/steps.log"
cp "build/$arch/tests/childprobe.exe" "$tool/Setup/unpack.exe"
cp "build/$arch/tests/childprobe.exe" "$tool/Setup/shortcuts.exe"
printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\DemoTool\\Settings]\r\n"Theme"="classic"\r\n"CheckForUpdates"=dword:00000001\r\n' >"$tool/settings.reg"

product='HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\{5E27B1C4-9A30-4F8D-B6E2-0C41D97A38F5}'
display='HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\InstallShield_{5E27B1C4-9A30-4F8D-B6E2-0C41D97A38F5}'
cat >"$demo/runlist.reg" <<REG
REGEDIT4

[-HKEY_LOCAL_MACHINE\\SOFTWARE\\DemoTool]

[$product]
"InstallLocation"="C:\\\\DemoTool"

[$product\\Quillmere]
"Title"="Finishing the Demo Tool installation"
"DisplayName"="Demo Tool 1.0"
"DisplayIcon"="C:\\\\DemoTool\\\\demotool.exe,0"

[$product\\Quillmere\\1-unpack]
"type"="executable"
"command"="%QuillmereDir%\\\\unpack.exe"
"parameters"="--sleep 4000 --record C:\\\\DemoTool\\\\steps.log"
"text"="Unpacking the program files"

[$product\\Quillmere\\2-settings]
"type"="reg"
"command"="%InstallDir%\\\\settings.reg"
"text"="Registering the default settings"

[$product\\Quillmere\\3-shortcuts]
"type"="executable"
"command"="%QuillmereDir%\\\\shortcuts.exe"
"parameters"="--sleep 4000 --record C:\\\\DemoTool\\\\steps.log"
"text"="Creating the shortcuts"

[$display]
"DisplayName"="DemoTool setup"
REG
"$regtool" regedit /s "$(winpath "$demo/runlist.reg")" >"$demo/regedit.log" 2>&1

snapshot() {
  {
    "$regtool" reg query "$product" /s
    "$regtool" reg query "$display" /s
    "$regtool" reg query 'HKEY_LOCAL_MACHINE\SOFTWARE\DemoTool' /s
  } 2>/dev/null | tr -d '\r' | grep -v -e '^$' -e '^reg:' || true
}
snapshot >"$demo/before.txt"

echo "Showing $arch FinishInstall.exe: $why."
echo "Running it on the sample run list (three steps, about ten seconds)..."
program="$root/build/$arch/FinishInstall.exe"
if [ "$headless" = 1 ]; then
  # No window manager under Xvfb: a Wine desktop of its own draws the window's frame and caption.
  "$WINE64" explorer /desktop=FinishInstallDemo,640x480 "$program" >"$demo/program.log" 2>&1 &
  pid=$!
  # The stand-in programs note when they start: a screenshot shortly after each start shows
  # its line bold. Until the first start there is no log, and no start counted.
  shoot_when_started() {
    local count=$1 png=$2 started
    for _ in $(seq 300); do
      started=$(grep -c '^start' "$tool/steps.log" 2>/dev/null) || started=0
      [ "$started" -ge "$count" ] && break
      sleep 0.1
    done
    sleep 1
    import -window root -crop 640x480+0+0 "$png" 2>/dev/null || true
  }
  shoot_when_started 1 "$demo/screenshot-step1.png"
  shoot_when_started 2 "$demo/screenshot-step3.png"
  wait "$pid" || true
  # The README's picture: the window alone, the desktop around it trimmed away (it is all one
  # colour), cut from the shot of the first step running.
  convert "$demo/screenshot-step1.png" -trim +repage -strip "$demo/progress-window.png" ||
    rm -f "$demo/progress-window.png"
else
  "$WINE64" "$program" >"$demo/program.log" 2>&1 || true
fi
# The desktop process may outlive the program a little; the registry is settled once it is gone.
sleep 1
snapshot >"$demo/after.txt"

echo
echo "What changed in the registry (- before, + after):"
diff "$demo/before.txt" "$demo/after.txt" | grep '^[<>]' | sed 's/^</-/; s/^>/+/' || true
if [ "$headless" = 1 ]; then
  echo
  echo "Screenshots taken while the steps ran:"
  echo "  $demo/screenshot-step1.png (first step running, its line bold)"
  echo "  $demo/screenshot-step3.png (third step running)"
  echo "  $demo/progress-window.png (the first one cropped to the window, as the README shows it)"
fi
