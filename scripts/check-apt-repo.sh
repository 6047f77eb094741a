#!/usr/bin/env bash
# The release's APT repository as a school lab meets it, with a throwaway key made here and nothing
# of this machine's keys or APT configuration:
#   1. the packages in build-deb/ (scripts/package.sh) published as scripts/publish.sh publishes a
#      release, served on 127.0.0.1; gpgv checks SHA256SUMS.asc against the keyring;
#   2. a fresh minimal chroot of this machine's Debian release adds the repository as a lab's
#      administrator does (the keyring in /etc/apt/keyrings, a deb822 .sources file with
#      Signed-By, the pin), then apt update and apt install vellorin; the program opens its window;
#   3. a newer version published (the package again, one Debian revision up) arrives with apt upgrade;
#   4. a package of Debian's own name published there (base-files) is never taken (the pin);
#   5. apt update refuses the repository once its Packages index is changed after signing, and
#      once it is signed by another key;
#   6. an arm64 chroot (a Raspberry Pi's system, under qemu-user) installs vellorin from the same
#      repository and the program opens its window.
# Needs root, network (Debian's mirror), binfmt_misc and qemu-user-static.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
say() { echo "apt-lab: $*" >&2; }
. scripts/chroots.sh
[ "$(id -u)" = 0 ] || lacks "needs root for its chroots: sudo scripts/check-apt-repo.sh"
bash scripts/setup.sh --package
version="$(dpkg-parsechangelog -S Version)"
for arch in amd64 arm64; do
  [ -f "build-deb/vellorin_${version}_$arch.deb" ] || lacks "no build-deb/vellorin_${version}_$arch.deb; make it with scripts/package.sh"
done
emulate arm64

lab="$(mktemp -d /tmp/vellorin-lab.XXXXXX)"
work="$lab/chroots"
site="$lab/site"
server=""
finish() {
  [ -z "$server" ] || kill "$server" 2>/dev/null || true
  gpgconf --kill all 2>/dev/null || true
  cleanup && rm -rf "$lab"
}
trap finish EXIT
mkdir -p "$work" "$site"

# The throwaway keys: the repository's, and another that must not be trusted.
export GNUPGHOME="$lab/gnupg"
mkdir -m 700 "$GNUPGHOME"
newkey() {
  gpg --batch --quiet --passphrase '' --quick-gen-key "$1 <lab@vellorin.invalid>" ed25519 sign 1d
  gpg --batch --quiet --with-colons --list-secret-keys "$1" 2>/dev/null | awk -F: '/^fpr/ {print $10; exit}'
}
key="$(newkey "Vellorin lab check (throwaway)")"
other="$(newkey "Somebody else (throwaway)")"
publish() { VELLORIN_SIGNING_KEY="${1:-$key}" bash scripts/publish.sh "$site"; }
keyring=vellorin-archive-keyring.pgp

step "publish and check the signed checksums"
cp "build-deb/vellorin_${version}_amd64.deb" "build-deb/vellorin_${version}_arm64.deb" "$site/"
publish
gpgv --keyring "$site/$keyring" "$site/SHA256SUMS.asc" "$site/SHA256SUMS" 2>&1 | sed 's/^/  /' >&2
python3 -u -m http.server --bind 127.0.0.1 --directory "$site" 0 >"$lab/server.log" 2>&1 &
server=$!
for _ in $(seq 100); do grep -q 'port' "$lab/server.log" && break; sleep 0.1; done
port="$(sed -n 's/.* port \([0-9]*\) .*/\1/p' "$lab/server.log" | head -n1)"
[ -n "$port" ] || { cat "$lab/server.log" >&2; lacks "the repository's server did not start"; }

# A lab machine: the repository added as the README tells its administrator.
machine() {  # chroot-folder architecture
  bootstrap "$1" --variant=apt --architectures="$2"
  bind "$1"
  mkdir -p "$1/etc/apt/keyrings"
  cp "$site/$keyring" "$1/etc/apt/keyrings/"
  cp "$site/apt/vellorin.pref" "$1/etc/apt/preferences.d/"
  printf 'Types: deb\nURIs: http://127.0.0.1:%s/apt\nSuites: stable\nComponents: main\nSigned-By: /etc/apt/keyrings/%s\n' \
    "$port" "$keyring" >"$1/etc/apt/sources.list.d/vellorin.sources"
}
apt_in() {  # chroot-folder apt-get-arguments...: apt's own words go to the log and, in short, here
  local c=$1
  shift
  in_chroot "$c" apt-get -q -o APT::Color=0 "$@" >"$lab/apt.log" 2>&1
}
shown() { grep -E "$1" "$lab/apt.log" | sed 's/^/  apt: /' >&2; }
installed() { in_chroot "$1" dpkg-query -W -f='${Version}' "$2"; }
window() {  # chroot-folder: the installed program's window comes up on a private X server
  scripts/with-xvfb.sh bash -c '
    chroot "$1" env -i PATH=/usr/bin:/bin DISPLAY="$DISPLAY" /usr/bin/vellorin >/dev/null 2>&1 &
    for _ in $(seq 600); do
      xwininfo -root -tree 2>/dev/null | grep -q "\" Vellorin \"" && { echo "  window \" Vellorin \" is up" >&2; kill $!; exit 0; }
      sleep 0.1
    done
    kill $! 2>/dev/null; exit 1' _ "$1" || lacks "the installed program opened no window"
}

lab_pc="$work/amd64"
step "install (amd64, $suite)"
machine "$lab_pc" amd64
apt_in "$lab_pc" update || { cat "$lab/apt.log" >&2; lacks "apt update failed on the signed repository"; }
shown "127\.0\.0\.1.*InRelease"
apt_in "$lab_pc" install -y vellorin || { cat "$lab/apt.log" >&2; lacks "apt install vellorin failed"; }
shown "^(Get:.*127\.0\.0\.1|Setting up vellorin)"
[ "$(installed "$lab_pc" vellorin)" = "$version" ] || lacks "installed $(installed "$lab_pc" vellorin), not $version"
window "$lab_pc"

step "upgrade to a newer version"
newer="${version%-*}-$((${version##*-} + 1))"
unpacked="$lab/newer"
dpkg-deb -R "build-deb/vellorin_${version}_amd64.deb" "$unpacked"
sed -i "s/^Version: .*/Version: $newer/" "$unpacked/DEBIAN/control"
dpkg-deb --root-owner-group -Zxz -b "$unpacked" "$site/vellorin_${newer}_amd64.deb" >/dev/null
publish
apt_in "$lab_pc" update && apt_in "$lab_pc" upgrade -y || { cat "$lab/apt.log" >&2; lacks "apt upgrade failed"; }
shown "^(Get|Unpacking vellorin|Setting up vellorin)"
[ "$(installed "$lab_pc" vellorin)" = "$newer" ] || lacks "apt upgrade left vellorin at $(installed "$lab_pc" vellorin), not $newer"

step "the pin: a package of Debian's own name is never taken"
debian_base="$(installed "$lab_pc" base-files)"
fake="$lab/base-files"
mkdir -p "$fake/DEBIAN"
printf 'Package: base-files\nVersion: 99\nArchitecture: amd64\nMaintainer: Nobody <lab@vellorin.invalid>\nDescription: not Debian'\''s\n' \
  >"$fake/DEBIAN/control"
dpkg-deb --root-owner-group -b "$fake" "$site/base-files_99_amd64.deb" >/dev/null
publish
apt_in "$lab_pc" update && apt_in "$lab_pc" upgrade -y || { cat "$lab/apt.log" >&2; lacks "apt upgrade failed"; }
in_chroot "$lab_pc" apt-cache policy base-files >"$lab/apt.log"
shown "Candidate|99|-1"
[ "$(installed "$lab_pc" base-files)" = "$debian_base" ] || lacks "the repository's base-files replaced Debian's"
grep -q "Candidate: $debian_base" "$lab/apt.log" || lacks "apt's candidate for base-files is not Debian's $debian_base"
rm "$site/base-files_99_amd64.deb"

refused() {  # what: apt update, of this repository alone, must fail as it is now served
  rm -rf "$lab_pc"/var/lib/apt/lists/127.0.0.1*
  if apt_in "$lab_pc" -o Dir::Etc::SourceList=/dev/null update && ! grep -qE '^(E|W): .*127\.0\.0\.1' "$lab/apt.log"; then
    cat "$lab/apt.log" >&2; lacks "apt update took the repository $1"
  fi
  shown "^(E|W): "
  ! in_chroot "$lab_pc" apt-cache policy vellorin | grep -q '127\.0\.0\.1' ||
    lacks "apt offers vellorin from the repository $1"
}
step "refused: Packages changed after signing"
publish
index="$site/apt/dists/stable/main/binary-amd64/Packages"
sed -i 's/^Description: .*/Description: changed on the way/' "$index"
gzip -9n <"$index" >"$index.gz"
refused "with a changed Packages index"

step "refused: signed by another key"
publish "$other"
refused "signed by a key it does not trust"
publish

lab_pi="$work/arm64"
step "install (arm64, $suite, under qemu-user)"
machine "$lab_pi" arm64
apt_in "$lab_pi" update && apt_in "$lab_pi" install -y vellorin || { cat "$lab/apt.log" >&2; lacks "apt install vellorin failed on arm64"; }
shown "^(Get:.*vellorin|Setting up vellorin)"
window "$lab_pi"
say "the repository is taken, upgraded from and refused as it must be"
