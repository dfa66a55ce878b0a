#!/usr/bin/env bash
# scripts/test-in-debian.sh RELEASE [TEST ARGUMENTS]: the README's test command on a fresh minimal
# Debian RELEASE (12 or 13), as a new user would run it: a root made by debootstrap
# (--variant=minbase), a clean clone of this repository's HEAD in it, and scripts/test.sh started
# there as root from a bare environment (PATH and HOME; the host's certificate variables where it
# has them). Run as root. Prints the run's summary and how long each stage took; the run's whole
# output is in the root's /root/FinishInstall/build/test-command.log. On Debian 13 the Visual
# Studio-style builds follow, made and tested (scripts/test-msvc.sh), with their own lines.
#
# The root gets the host's resolver and the certificates the host trusts (its store, and the files
# SSL_CERT_FILE and NODE_EXTRA_CA_CERTS name), so that apt and npm reach from inside what the host
# reaches. /proc, /sys and /dev are mounted into it for the run and unmounted on every exit; every
# process left in the root is ended first.
#
# Reused between runs on one machine, under FINISHINSTALL_DEBIAN_CACHE (/var/cache/finishinstall):
# the base system as debootstrap made it, untouched, unpacked anew for each run and made anew after
# a week; and the .deb files apt fetched, which apt checks against its signed index before use.
# The root itself is made anew each run, under FINISHINSTALL_DEBIAN_ROOTS (/var/tmp/finishinstall).
set -euo pipefail
cd "$(dirname "$0")/.."
readonly repo=$PWD

release=${1:-}
case $release in
  12) suite=bookworm ;;
  13) suite=trixie ;;
  *)
    echo "usage: scripts/test-in-debian.sh 12|13 [TEST ARGUMENTS]" >&2
    exit 2
    ;;
esac
shift
if [ "$(id -u)" != 0 ]; then
  echo "test-in-debian: run as root: debootstrap, chroot and mount need it" >&2
  exit 1
fi

readonly mirror=http://deb.debian.org/debian
readonly cache=${FINISHINSTALL_DEBIAN_CACHE:-/var/cache/finishinstall}
readonly base=$cache/debian-$release-minbase.tar
readonly archives=$cache/debian-$release-archives
readonly root=${FINISHINSTALL_DEBIAN_ROOTS:-/var/tmp/finishinstall}/debian-$release
readonly clone=/root/FinishInstall
readonly started=$(date +%s)
stage_start=$started
stages=()

# stage NAME: the time since the last stage, under NAME, for the closing lines.
stage() {
  local now
  now=$(date +%s)
  stages+=("$(printf '%s %d min %02d s' "$1:" $(((now - stage_start) / 60)) $(((now - stage_start) % 60)))")
  stage_start=$now
}

# The processes still running in the root (a wineserver, an Xvfb), then its mounts, innermost
# first. A mount that stays busy is detached lazily, so that none outlives the script.
release_root() {
  local pid link tries
  [ -d "$root" ] || return 0
  for tries in 1 2 3; do
    local found=0
    for link in /proc/[0-9]*/root; do
      pid=${link#/proc/}
      pid=${pid%/root}
      [ "$(readlink "$link" 2>/dev/null)" = "$root" ] || continue
      found=1
      kill -9 "$pid" 2>/dev/null || true
    done
    [ "$found" = 1 ] || break
    sleep 1
  done
  local mounts
  mounts=$(findmnt -rn -o TARGET | grep -E "^$root(/|$)" | sort -r || true)
  for mount in $mounts; do
    umount "$mount" 2>/dev/null || umount -l "$mount" 2>/dev/null || true
  done
}

# Nothing may be removed through a mount: the root goes only once it has none, and rm stays on
# the root's own file system.
remove_root() {
  release_root
  if findmnt -rn -o TARGET | grep -qE "^$root(/|$)"; then
    echo "test-in-debian: $root still has mounts; not removed" >&2
    return 1
  fi
  rm -rf --one-file-system "$root"
}

on_exit() {
  local status=$?
  trap - EXIT INT TERM
  release_root
  exit "$status"
}
trap on_exit EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

command -v debootstrap >/dev/null || {
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends debootstrap
}
mkdir -p "$cache" "$archives" "$(dirname "$root")"

# The base system, as debootstrap makes it: made once a week, and kept as a tarball nobody writes.
if [ ! -s "$base" ] || [ -n "$(find "$base" -mtime +6)" ]; then
  echo "test-in-debian: making a minimal Debian $release ($suite) base system"
  rm -rf --one-file-system "$base.dir"
  debootstrap --variant=minbase "$suite" "$base.dir" "$mirror" >"$cache/debootstrap-$release.log" 2>&1 || {
    tail -n 20 "$cache/debootstrap-$release.log" >&2
    echo "test-in-debian: debootstrap failed; its log is $cache/debootstrap-$release.log" >&2
    exit 1
  }
  tar -C "$base.dir" --numeric-owner -cf "$base.new" .
  mv "$base.new" "$base"
  rm -rf --one-file-system "$base.dir"
fi
remove_root
mkdir -p "$root"
tar -C "$root" --numeric-owner -xf "$base"
stage "base system"

# The same archive as the host's, with the release's updates and security fixes.
cat >"$root/etc/apt/sources.list" <<EOF
deb $mirror $suite main
deb $mirror $suite-updates main
deb http://deb.debian.org/debian-security $suite-security main
EOF
# No service is started by a package installed in the root.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"
cp -L /etc/resolv.conf "$root/etc/resolv.conf"

# The certificates the host trusts: its store, and the files its variables name, at the same
# paths. The store's bundle also goes where update-ca-certificates takes local certificates
# from, so that installing ca-certificates in the root keeps them in the bundle it makes.
cert_env=()
if [ -d /etc/ssl/certs ]; then
  mkdir -p "$root/etc/ssl/certs" "$root/usr/local/share/ca-certificates"
  cp -rL /etc/ssl/certs/. "$root/etc/ssl/certs/" 2>/dev/null || true
  [ ! -d /usr/local/share/ca-certificates ] ||
    cp -rL /usr/local/share/ca-certificates/. "$root/usr/local/share/ca-certificates/"
  [ ! -f /etc/ssl/certs/ca-certificates.crt ] ||
    cp -L /etc/ssl/certs/ca-certificates.crt "$root/usr/local/share/ca-certificates/host-trust.crt"
fi
for variable in SSL_CERT_FILE NODE_EXTRA_CA_CERTS; do
  file=${!variable:-}
  [ -n "$file" ] && [ -f "$file" ] || continue
  mkdir -p "$root$(dirname "$file")"
  cp -L "$file" "$root$file"
  cert_env+=("$variable=$file")
done

mount -t proc proc "$root/proc"
for dir in sys dev; do
  mount --rbind "/$dir" "$root/$dir"
  mount --make-rslave "$root/$dir"
done
mkdir -p "$root/var/cache/apt/archives"
mount --bind "$archives" "$root/var/cache/apt/archives"

# A clean clone of what is committed here, as CI has it.
git clone -q --no-hardlinks "$repo" "$root$clone"
stage "root made"

status=0
chroot "$root" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  HOME=/root ${CI:+CI=$CI} "${cert_env[@]}" \
  /bin/bash -c 'cd "$1" && shift && scripts/test.sh "$@"' bash "$clone" "$@" \
  >"$root$clone.log" 2>&1 || status=$?
mkdir -p "$root$clone/build"
mv "$root$clone.log" "$root$clone/build/test-command.log"
stage "test command"

# Debian 13 has what the Visual Studio-style builds need: both made, and the whole-program tests
# run against them with the test command's bundles (scripts/test-msvc.sh).
msvc_status=0
if [ "$release" = 13 ]; then
  chroot "$root" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    HOME=/root /bin/bash -c 'cd "$1" && scripts/test-msvc.sh' bash "$clone" \
    >"$root$clone/build/msvc.txt" 2>&1 || msvc_status=$?
  stage "Visual Studio-style builds"
fi

echo "=== Debian $release ($suite): the test command $([ "$status" = 0 ] && echo passed || echo "FAILED with status $status") ==="
if [ -s "$root$clone/build/summary.txt" ]; then
  cat "$root$clone/build/summary.txt"
else
  tail -n 40 "$root$clone/build/test-command.log"
fi
echo "its whole output: $root$clone/build/test-command.log"
if [ "$release" = 13 ]; then
  echo
  echo "=== Debian $release: the Visual Studio-style builds $([ "$msvc_status" = 0 ] && echo passed || echo "FAILED with status $msvc_status") ==="
  cat "$root$clone/build/msvc.txt"
  [ "$msvc_status" = 0 ] || status=1
fi
printf '%s\n' "${stages[@]}"
exit "$status"
