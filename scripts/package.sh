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
. scripts/chroots.sh
[ "$(id -u)" = 0 ] || lacks "needs root for its chroots: sudo scripts/package.sh"
bash scripts/setup.sh --package

out="$root/build-deb"
work="$out/chroots"
emulate "${arches[@]}"
trap cleanup EXIT
cleanup
rm -rf "$out"/vellorin* "$out"/src
mkdir -p "$work"

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
