#!/usr/bin/env bash
# Every artifact of the version in project() into dist/, the same bytes whenever the same commit
# is built again, anywhere (times come from the last commit: SOURCE_DATE_EPOCH):
#   vellorin-<version>.tar.gz          the source, as git archive gives it
#   vellorin_<version>-<rev>.dsc, .orig.tar.xz, .debian.tar.xz    the Debian source package
#   vellorin_<version>-<rev>_{amd64,arm64,armhf}.deb               (scripts/package.sh)
#   Vellorin-<version>-win64.exe, .zip the Windows installer and portable zip (scripts/windows.sh)
#   vellorin-<version>-web.zip         the page, which also opens from a folder (scripts/web.sh)
#   SHA256SUMS, and with VELLORIN_SIGNING_KEY (a key's fingerprint, in the caller's GnuPG keyring)
#   SHA256SUMS.asc and vellorin-archive-keyring.pgp
#   apt/                               a signed APT repository of the three packages
#                                      (scripts/publish.sh)
# Run as root in a checkout with nothing uncommitted; it installs what the builds need. dist/
# appears only when every file is in it: the files are gathered in a scratch folder first.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
fail() { echo "release: $*" >&2; exit 1; }

command -v git >/dev/null && git rev-parse --git-dir >/dev/null 2>&1 ||
  fail "needs a git checkout and git (sudo apt-get install git); the source tarball is the last commit"
[ -z "$(git status --porcelain --untracked-files=no)" ] ||
  fail "uncommitted changes; a release is a commit: commit or stash them first ($(git status --porcelain --untracked-files=no | wc -l) files)"
[ "$(id -u)" -eq 0 ] || fail "the Debian packages are built in a chroot as root: run sudo scripts/release.sh"
bash scripts/setup.sh --package
# The key is looked for now, not after the builds.
[ -z "${VELLORIN_SIGNING_KEY:-}" ] || gpg --batch --list-secret-keys "$VELLORIN_SIGNING_KEY" >/dev/null 2>&1 ||
  fail "VELLORIN_SIGNING_KEY is $VELLORIN_SIGNING_KEY, which has no secret key in ${GNUPGHOME:-~/.gnupg}"

version="$(sed -n 's/^project(Vellorin VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)"
[ -n "$version" ] || fail "no version in CMakeLists.txt's project()"
export SOURCE_DATE_EPOCH="$(git log -1 --format=%ct)"

# Within an ignored folder of the checkout, so that the source package leaves it out and the
# move to dist/ is a rename.
mkdir -p build-release
scratch="$(mktemp -d "$root/build-release/dist.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT

git archive --format=tar --prefix="vellorin-$version/" HEAD | gzip -9n >"$scratch/vellorin-$version.tar.gz"

bash scripts/package.sh >/dev/null
deb_version="$(dpkg-parsechangelog -S Version)"
cp build-deb/vellorin_"$deb_version".dsc build-deb/vellorin_"$version".orig.tar.xz \
   build-deb/vellorin_"$deb_version".debian.tar.xz build-deb/vellorin_"$deb_version"_{amd64,arm64,armhf}.deb "$scratch/"

bash scripts/windows.sh >/dev/null
cp build-windows/Vellorin-"$version"-win64.exe build-windows/Vellorin-"$version"-win64.zip "$scratch/"

bash scripts/web.sh >/dev/null
cp build-web/vellorin-"$version"-web.zip "$scratch/"

bash scripts/publish.sh "$scratch"
chmod 755 "$scratch"
rm -rf dist
mv "$scratch" dist
trap - EXIT
echo "release: $version in $root/dist:"
(cd dist && LC_ALL=C find . -type f -printf '  %s\t%P\n' | LC_ALL=C sort -k2)
