#!/usr/bin/env bash
# The Debian packages of Vellorin, made and checked as Debian makes them, into build-deb/:
#   source       vellorin_<version>.dsc, .orig.tar.xz and .debian.tar.xz, from this checkout's files
#                (git ls-files);
#   amd64        built from that source in a fresh chroot of this machine's Debian release holding
#                build-essential and the Build-Depends only, with no network during the build; the
#                unit tests and the sample bits run in the build;
#   arm64 armhf  cross-built in the same chroot (dpkg-buildpackage -a), their unit tests and sample
#                bits run under qemu-user;
#   autopkgtest  debian/tests against the amd64 package, installed in that chroot;
#   arm installs each arm .deb installed into a minimal chroot of its own architecture, its program
#                started on an Xvfb of this machine by the end-to-end tests of build/ and held to
#                the reference pictures.
# Prints the amd64 .deb's path last. Install a package with: apt install ./build-deb/vellorin_*.deb
#   scripts/package.sh [--amd64]    (--amd64: the source package and amd64 only, no emulator)
# Needs root (chroots), network (packages) and, for arm, binfmt_misc and qemu-user-static.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
arches=(arm64 armhf)
[ "${1:-}" = --amd64 ] && arches=()

say() { echo "package: $*" >&2; }
lacks() { say "$*"; exit 1; }
[ "$(id -u)" = 0 ] || lacks "needs root for its chroots: sudo scripts/package.sh"
bash scripts/setup.sh --package
. /etc/os-release
suite="${VERSION_CODENAME:?no release name in /etc/os-release}"
# The release as its point releases give it, the same for every architecture (security's indexes
# for the ports come and go out of step with amd64's, and multiarch needs one version everywhere).
mirrors=("deb http://deb.debian.org/debian $suite main" "deb http://deb.debian.org/debian $suite-updates main")

# arm binaries run through binfmt_misc with qemu-user-static's interpreters, registered as the
# package describes them when the kernel does not know them yet ("F": they work inside chroots).
for arch in "${arches[@]}"; do
  case $arch in arm64) cpu=aarch64 ;; armhf) cpu=arm ;; esac
  if [ ! -e /proc/sys/fs/binfmt_misc/register ] &&
    ! mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null; then
    lacks "cannot mount binfmt_misc for $arch programs: load the kernel module (modprobe binfmt_misc) or run in a privileged container"
  fi
  conf=/usr/lib/binfmt.d/qemu-$cpu.conf
  if [ ! -e /proc/sys/fs/binfmt_misc/qemu-$cpu ]; then
    [ -f "$conf" ] || lacks "no qemu-user interpreter for $arch: apt-get install qemu-user-static"
    grep -v '^#' "$conf" >/proc/sys/fs/binfmt_misc/register
  fi
  grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-$cpu ||
    lacks "binfmt_misc entry qemu-$cpu is disabled: echo 1 > /proc/sys/fs/binfmt_misc/qemu-$cpu"
done

out="$root/build-deb"
work="$out/chroots"
# Whatever happens, nothing stays mounted and the chroots go.
mounts=()
cleanup() {
  local i
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do umount "${mounts[i]}" || umount -l "${mounts[i]}"; done
  mounts=()
  if findmnt -rn -o TARGET | grep -q "^$work/"; then
    say "still mounted under $work:"; findmnt -rn -o TARGET | grep "^$work/" >&2; return 1
  fi
  rm -rf --one-file-system "$work"
}
trap cleanup EXIT
cleanup
rm -rf "$out"/vellorin* "$out"/src
mkdir -p "$work"
bind() {  # chroot: /proc, /dev and /dev/pts for builds, tests and X clients in it
  mount -t proc proc "$1/proc" && mounts+=("$1/proc")
  mount --bind /dev "$1/dev" && mounts+=("$1/dev")
  mount --bind /dev/pts "$1/dev/pts" && mounts+=("$1/dev/pts")
}
unbind() {
  local keep=() i
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
    if [[ ${mounts[i]} == "$1"/* ]]; then umount "${mounts[i]}"; else keep=("${mounts[i]}" "${keep[@]}"); fi
  done
  mounts=("${keep[@]}")
}
in_chroot() { local c=$1; shift; chroot "$c" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C.UTF-8 "$@"; }
step() { say "$1 ($(date -u +%T))"; }
# The archive's mirrors are sometimes caught mid-sync (an index of the wrong size); that passes.
bootstrap() {  # chroot-folder mmdebstrap-options...
  local try dir=$1
  shift
  for try in 1 2 3; do
    rm -rf --one-file-system "$dir"
    mmdebstrap --quiet --mode=root --skip=cleanup/apt/lists "$@" "$suite" "$dir" "${mirrors[@]}" 2>"$out/mmdebstrap.log" && return
    say "mmdebstrap failed (try $try of 3): $(grep -m1 -E '^E:|Err' "$out/mmdebstrap.log")"
    sleep 30
  done
  cat "$out/mmdebstrap.log" >&2
  exit 1
}

step "source package"
# The upstream tarball is the checkout's files without debian/, in a fixed order with fixed owners
# and times (those of the release's changelog entry), so the same checkout gives the same bytes.
version="$(dpkg-parsechangelog -S Version)"
upstream="${version%-*}"
stage="$out/src/vellorin-$upstream"
mkdir -p "$stage"
git ls-files -co --exclude-standard -z | while IFS= read -r -d '' f; do [ ! -e "$f" ] || printf '%s\0' "$f"; done |
  xargs -0 cp --parents -t "$stage"
tar -C "$out/src" --sort=name --mtime="@$(dpkg-parsechangelog -S Timestamp)" --owner=0 --group=0 --numeric-owner \
  --exclude="vellorin-$upstream/debian" -cf - "vellorin-$upstream" | xz -6 -T1 >"$out/vellorin_$upstream.orig.tar.xz"
(cd "$out/src" && cp "../vellorin_$upstream.orig.tar.xz" . && dpkg-source -b "vellorin-$upstream" >/dev/null &&
  mv "vellorin_$version.dsc" "vellorin_$version.debian.tar.xz" "$out/")
sources=("vellorin_$version.dsc" "vellorin_$upstream.orig.tar.xz" "vellorin_$version.debian.tar.xz")

step "build chroot ($suite)"
build="$work/build"
bootstrap "$build" --variant=buildd --architectures="amd64${arches[*]:+,}$(IFS=,; echo "${arches[*]}")"
bind "$build"
(cd "$out" && cp "${sources[@]}" "$build/tmp/")
log="$out/build.log"
for arch in amd64 "${arches[@]}"; do
  step "build for $arch"
  src="/tmp/$arch/vellorin-$upstream"
  mkdir -p "$build/tmp/$arch"
  in_chroot "$build" dpkg-source -x "/tmp/vellorin_$version.dsc" "$src" >"$log" 2>&1 || { cat "$log" >&2; exit 1; }
  if [ "$arch" = amd64 ]; then
    options=() cross=()
  else
    # The arm test programs run under qemu-user, through binfmt_misc.
    options=(DEB_BUILD_OPTIONS=crossbuildcanrunhostbinaries) cross=(-a "$arch")
    in_chroot "$build" apt-get install -y -qq "crossbuild-essential-$arch" >"$log" 2>&1 || { cat "$log" >&2; exit 1; }
  fi
  in_chroot "$build" apt-get build-dep -y -qq "${cross[@]}" "$src" >"$log" 2>&1 || { cat "$log" >&2; exit 1; }
  unshare --net chroot "$build" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C.UTF-8 HOME=/nonexistent \
    "${options[@]}" sh -c "cd $src && dpkg-buildpackage -us -uc ${cross[*]} $([ "$arch" = amd64 ] || echo -B)" \
    >"$out/build-$arch.log" 2>&1 || { tail -n 60 "$out/build-$arch.log" >&2; say "build for $arch failed: $out/build-$arch.log"; exit 1; }
  grep -E '^(100% tests passed|[0-9]+% tests passed)' "$out/build-$arch.log" >&2 || true
  cp "$build/tmp/$arch"/vellorin*_"$version"_*.* "$out/"
done

step "autopkgtest (amd64)"
autopkgtest --quiet "$out/vellorin_${version}_amd64.changes" -- chroot "$build" >"$out/autopkgtest.log" 2>&1 ||
  { tail -n 60 "$out/autopkgtest.log" >&2; say "autopkgtest failed: $out/autopkgtest.log"; exit 1; }
grep -E '^installed-window ' "$out/autopkgtest.log" >&2
unbind "$build"

# The editor of another architecture, installed in its own root, started by the autopkgtest's
# end-to-end tests on their own Xvfb (whose socket the chroot reaches). Its Mesa is built for
# that CPU, so its pictures are held to the references as another rasteriser's are.
for arch in "${arches[@]}"; do
  step "install on $arch"
  target="$work/$arch"
  bootstrap "$target" --variant=minbase --architectures="$arch" \
    --hook-dir=/usr/share/mmdebstrap/hooks/file-mirror-automount --include="$out/vellorin_${version}_$arch.deb"
  bind "$target"
  printf '#!/bin/sh\nexec chroot %s /usr/bin/vellorin "$@"\n' "$target" >"$work/vellorin-$arch"
  chmod +x "$work/vellorin-$arch"
  VELLORIN_E2E_PROGRAM="$work/vellorin-$arch" VELLORIN_E2E_RASTERISER=other AUTOPKGTEST_TMP="$out/e2e" \
    debian/tests/installed-window >&2
  unbind "$target"
done

cleanup
ls "$out/vellorin_${version}_amd64.deb"
