#!/usr/bin/env bash
# Every relative link in the Markdown files under a folder names a file or folder that is there:
# inline links and images, reference definitions, and HTML src and href attributes. Links with a
# scheme (http:, https:, mailto:) and those to an anchor of the same page (#...) are not
# followed; an anchor after a file name is not checked, only the file. Links in code (fenced
# blocks and `spans`) are not links. In a git checkout the files are those git knows or would
# add (not build/); elsewhere, every *.md file.
#
#   check-links.sh DIR
#
# Prints FILE:LINE: TARGET for each broken link and exits with 1 if there is one.
set -euo pipefail

[ $# = 1 ] && [ -d "$1" ] || {
  echo "usage: $0 DIR" >&2
  exit 2
}
cd "$1"

# links: "LINE<TAB>TARGET" for each link in the Markdown on standard input.
links() {
  awk '
    function emit(target) {
      sub(/^[ \t]*</, "", target)
      sub(/>$/, "", target)
      # A title after the address: "text", (text) or '"'"'text'"'"'.
      sub(/[ \t].*$/, "", target)
      if (target != "") print NR "\t" target
    }
    /^[ \t]*(```|~~~)/ { fenced = !fenced; next }
    fenced { next }
    {
      line = $0
      gsub(/`[^`]*`/, "", line)
      if (match(line, /^ ? ? ?\[[^]]+\]:[ \t]*[^ \t]+/)) {
        definition = substr(line, RSTART, RLENGTH)
        sub(/^[^]]*\]:[ \t]*/, "", definition)
        emit(definition)
      }
      rest = line
      while (match(rest, /\]\([^)]*\)/)) {
        emit(substr(rest, RSTART + 2, RLENGTH - 3))
        rest = substr(rest, RSTART + RLENGTH)
      }
      rest = line
      while (match(rest, /(src|href)="[^"]*"/)) {
        target = substr(rest, RSTART, RLENGTH)
        sub(/^[a-z]*="/, "", target)
        sub(/"$/, "", target)
        emit(target)
        rest = substr(rest, RSTART + RLENGTH)
      }
    }'
}

if [ "$(git rev-parse --show-toplevel 2>/dev/null)" = "$PWD" ]; then
  mapfile -d '' files < <(git ls-files -z --cached --others --exclude-standard -- '*.md' |
    sort -zu)
else
  mapfile -d '' files < <(find . -type f -name '*.md' -printf '%P\0' | sort -z)
fi

broken=0
for file in "${files[@]}"; do
  [ -f "$file" ] || continue # deleted, not yet committed
  base=$(dirname "$file")
  while IFS=$'\t' read -r line target; do
    [[ $target != \#* && ! $target =~ ^[a-zA-Z][a-zA-Z0-9+.-]*: ]] || continue
    path=${target%%#*}
    path=${path%%\?*}
    path=${path//%20/ }
    case $path in
      /*) path=.$path ;;
      *) path=$base/$path ;;
    esac
    if [ ! -e "$path" ]; then
      echo "$file:$line: $target"
      broken=$((broken + 1))
    fi
  done < <(links <"$file")
done
[ "$broken" = 0 ]
