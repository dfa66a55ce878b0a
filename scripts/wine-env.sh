# Sourced by the scripts: an isolated Wine prefix under a build folder, one wineserver kept
# alive for as long as it is used, and an X display (Xvfb when there is none, or when asked
# with FINISHINSTALL_XVFB=1). wine_env_start BUILD_DIR makes the prefix BUILD_DIR's and current;
# a second call switches to another prefix, ending the first one's wineserver. The display and
# the last wineserver end when the script exits.
#
# Everything is started through the 64-bit loader, which hands a 32-bit program to the 32-bit
# one by itself. Debian's `wine` command prefers the 32-bit loader once wine32 is installed, and
# Wine's own regedit and reg started through it act in the 32-bit registry view: WINE64 is the
# loader to name wherever the 64-bit view is meant.

WINE64=/usr/lib/wine/wine64
[ -x "$WINE64" ] || WINE64=$(command -v wine64 || command -v wine)

wine_env_display() {
  [ -n "${XVFB_PID:-}" ] && return 0
  if [ -z "${DISPLAY:-}" ] || [ "${FINISHINSTALL_XVFB:-0}" = 1 ]; then
    # Xvfb picks a free display itself and writes its number: servers started side by side
    # never take the same one.
    local number_file
    number_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 100); do [ -s "$number_file" ] && break; sleep 0.1; done
    export DISPLAY=":$(tr -d '\n' <"$number_file")"
    rm -f "$number_file"
  fi
  # A Wine desktop started before the X server answers stays broken for the whole run.
  for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
}

# The Windows path of a file of this machine, as Wine's Z: drive shows it.
winpath() {
  local path
  path=$(realpath -m "$1")
  printf 'Z:%s' "${path//\//\\}"
}

# True when Debian's 32-bit loader (wine32:i386) is installed.
wine_env_has_wine32() { [ -x /usr/lib/wine/wine ]; }

wine_env_start() {
  local build_dir=$1
  if [ -n "${WINE_ENV_STARTED:-}" ]; then wineserver -k >/dev/null 2>&1 || true; fi
  WINE_ENV_STARTED=1
  export WINEPREFIX="$build_dir/wineprefix"
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
  export WINEARCH=win64
  wine_env_display
  trap wine_env_stop EXIT
  # A prefix made before wine32 was installed lacks the 32-bit system: made anew.
  if [ -f "$WINEPREFIX/system.reg" ] && wine_env_has_wine32 &&
     [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
    echo "Making the Wine prefix $WINEPREFIX anew, with its 32-bit system"
    rm -rf "$WINEPREFIX"
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ] && [ -f "${WINE_ENV_TEMPLATE:-}/system.reg" ]; then
    # A copy costs seconds where making one costs half a minute of both cores.
    rm -rf "$WINEPREFIX"
    mkdir -p "$build_dir"
    cp -a "$WINE_ENV_TEMPLATE" "$WINEPREFIX"
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    # Wine's services inherit output handles: send them to a file, never to a pipe we wait on.
    "$WINE64" wineboot -i >"$build_dir/wineboot.log" 2>&1 || true
  fi
  wineserver -p >/dev/null 2>&1 &
  "$WINE64" wineboot >/dev/null 2>&1 || true
}

wine_env_stop() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" >/dev/null 2>&1 || true
  XVFB_PID=
}

# wine_env_make_template DIR: a prefix made once in DIR and kept, for wine_env_start to copy
# wherever WINE_ENV_TEMPLATE names it. Made beside DIR and moved there whole once its server has
# ended, so that a run cut short leaves no half-made prefix to copy. Runs in a subshell of its
# own: the caller's prefix, display and server stay as they were.
wine_env_make_template() (
  local dir=$1
  if [ -f "$dir/system.reg" ] && { ! wine_env_has_wine32 ||
     [ -f "$dir/drive_c/windows/syswow64/kernel32.dll" ]; }; then
    exit 0
  fi
  rm -rf "$dir" "$dir.new"
  unset XVFB_PID WINE_ENV_STARTED
  wine_env_start "$dir.new" >/dev/null
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  mv "$dir.new/wineprefix" "$dir"
  rm -rf "$dir.new"
)
