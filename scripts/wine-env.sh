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

# Wine names Unix files in the locale's character set: without a UTF-8 one it cannot make a file
# whose name is outside ASCII. Every Wine the scripts start gets the same locale, whatever the
# caller's (a bare environment has none); a test that needs another sets LC_ALL for itself.
unset LANGUAGE LC_CTYPE LC_MESSAGES LC_COLLATE LC_NUMERIC LC_TIME LC_MONETARY
export LANG=C.UTF-8 LC_ALL=C.UTF-8

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
  # A copy shares its system files with the template: Wine must never update it in place (after
  # an upgrade of Wine). Where a template is given, a prefix not copied from it (from an earlier
  # template, or a whole prefix) is copied anew: it would keep files the template no longer has.
  if [ -f "$WINEPREFIX/$WINE_ENV_COPY_MARK" ] && ! wine_env_is_current "$WINEPREFIX"; then
    rm -rf "$WINEPREFIX"
  fi
  if [ -d "$WINEPREFIX" ] && [ -f "${WINE_ENV_TEMPLATE:-}/system.reg" ] &&
     ! cmp -s "$WINEPREFIX/$WINE_ENV_COPY_MARK" "$WINE_ENV_TEMPLATE/$WINE_ENV_COPY_MARK"; then
    rm -rf "$WINEPREFIX"
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ] && [ -f "${WINE_ENV_TEMPLATE:-}/system.reg" ] &&
     wine_env_is_current "$WINE_ENV_TEMPLATE"; then
    mkdir -p "$build_dir"
    wine_env_copy "$WINE_ENV_TEMPLATE" "$WINEPREFIX"
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

# The files of a prefix that Wine and the tests only read: the programs, libraries, drivers and
# national language tables of Windows and of Wine (nearly all of a prefix's size). Wine writes
# them only when it updates a prefix to a new version of itself, which a copy never gets (see
# wine_env_start); the registry files, *.ini files, logs, caches and everything a test makes are
# other files.
WINE_ENV_SHARED='.*\.(dll|exe|drv|sys|vxd|ocx|cpl|acm|ax|ds|tlb|nls|com|msstyles)'
# The file in a copy, and in its template, naming the template it was made from.
WINE_ENV_COPY_MARK=.template

# wine_env_copy TEMPLATE PREFIX: a prefix of its own in PREFIX for a few megabytes, where a
# whole copy takes 1.3 GB: the shared files are hard links to the template's, every other file
# a copy of its own. What a test or Wine writes in the copy (the registry, which Wine saves to a
# new file renamed over the old one, an .ini file it rewrites in place, any new file) is the
# copy's alone. One thing would reach the template and every copy: a program overwriting one of
# the shared files in place. The test command checks after its run that none was.
wine_env_copy() {
  local template=$1 prefix=$2
  rm -rf "$prefix" "$prefix.new"
  mkdir -p "$(dirname "$prefix")"
  if cp -al "$template" "$prefix.new" 2>/dev/null; then
    (cd "$template" &&
      find . -regextype posix-extended -type f ! -iregex "$WINE_ENV_SHARED" -print0 |
      xargs -0 -r cp -p --parents --remove-destination -t "$prefix.new")
  else
    # Another file system than the template's: no hard links, a whole copy.
    rm -rf "$prefix.new"
    cp -a "$template" "$prefix.new"
  fi
  mv "$prefix.new" "$prefix"
}

# wine_env_is_current PREFIX: whether Wine would leave PREFIX as it is, not update it to the
# installed Wine (it records the time of the wine.inf it was made or updated from).
wine_env_is_current() {
  local inf
  for inf in /usr/share/wine/wine.inf /usr/local/share/wine/wine.inf; do
    [ -f "$inf" ] || continue
    # Written by Wine with a carriage return.
    [ "$(head -n 1 "$1/.update-timestamp" 2>/dev/null | tr -d '\r')" = "$(stat -c %Y "$inf")" ]
    return
  done
  # Wine installed elsewhere: its wine.inf unknown here, the prefix taken as current.
  return 0
}

wine_env_stop() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" >/dev/null 2>&1 || true
  XVFB_PID=
}

# wine_env_make_template DIR: a prefix made once in DIR and kept, for wine_env_start to copy
# wherever WINE_ENV_TEMPLATE names it, with DIR.md5 listing its shared files' digests (see
# wine_env_check_template). Made beside DIR and moved there whole once its server has ended, so
# that a run cut short leaves no half-made prefix to copy. Runs in a subshell of its own: the
# caller's prefix, display and server stay as they were.
wine_env_make_template() (
  local dir=$1
  rm -rf "$dir.new"
  if [ -f "$dir/system.reg" ] && [ -f "$dir.md5" ] && wine_env_is_current "$dir" &&
     { ! wine_env_has_wine32 || [ -f "$dir/drive_c/windows/syswow64/kernel32.dll" ]; }; then
    exit 0
  fi
  rm -rf "$dir" "$dir.new" "$dir.md5"
  unset XVFB_PID WINE_ENV_STARTED WINE_ENV_TEMPLATE
  wine_env_start "$dir.new" >/dev/null
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  # Names the template in its copies: a copy of an earlier template is made anew.
  echo "$(date -u +%FT%T.%N) $$" >"$dir.new/wineprefix/$WINE_ENV_COPY_MARK"
  (cd "$dir.new/wineprefix" &&
    find . -regextype posix-extended -type f -iregex "$WINE_ENV_SHARED" -print0 | sort -z |
    xargs -0 -r md5sum) >"$dir.new/shared.md5"
  mv "$dir.new/wineprefix" "$dir"
  mv "$dir.new/shared.md5" "$dir.md5"
  rm -rf "$dir.new"
)

# wine_env_check_template DIR: whether the template's shared files are as they were made; if
# not, names the files changed (then the copies sharing them changed too).
wine_env_check_template() {
  local changed
  [ -s "$1.md5" ] || { echo "no list of the template's shared files: $1.md5"; return 1; }
  changed=$(cd "$1" && md5sum --quiet -c "$(realpath "$1").md5" 2>&1) && return 0
  echo "the Wine prefix template $1 changed:"
  echo "$changed"
  return 1
}
