#!/usr/bin/env bash
# Makes a folder of release files ready to publish: an APT repository of its .deb files, the
# checksums, and the signatures that tell the project's files from anyone else's.
#   scripts/publish.sh DIR
# Into DIR, beside its files (scripts/release.sh gathers them):
#   apt/                          an APT repository of DIR's .deb files: pool/main/v/vellorin/,
#                                 dists/stable/main/binary-<arch>/Packages (and .gz), dists/stable/Release
#                                 with InRelease and Release.gpg, the keyring and the pin at its root
#   vellorin-archive-keyring.pgp  the signing key's public half, binary, as apt's Signed-By takes it
#   SHA256SUMS, SHA256SUMS.asc    the checksums of DIR's files, and their detached signature
# It signs with the OpenPGP key whose fingerprint is VELLORIN_SIGNING_KEY, from the caller's GnuPG
# keyring (GNUPGHOME is honoured); without it the signatures and the keyring are left out, and it
# says so. Only public keys and signatures are written. Every time in the unsigned files is
# SOURCE_DATE_EPOCH, so the same files give the same bytes; a signature carries its own time.
set -euo pipefail
dir="$(realpath "${1:?usage: publish.sh DIR}")"
key="${VELLORIN_SIGNING_KEY:-}"
say() { echo "publish: $*" >&2; }

# What apt shows of the repository, and what the pin matches it by.
origin=Vellorin
label=Vellorin
suite=stable
component=main
keyring=vellorin-archive-keyring.pgp

if [ -n "$key" ]; then
  command -v gpg >/dev/null || { say "needs gpg to sign (apt-get install gnupg)"; exit 1; }
  gpg --batch --list-secret-keys "$key" >/dev/null 2>&1 ||
    { say "no secret key $key in ${GNUPGHOME:-~/.gnupg}"; exit 1; }
fi
sign() {  # gpg-options...: with the release's key, never asking
  gpg --batch --yes --quiet --local-user "$key" "$@"
}

apt="$dir/apt"
pool="pool/$component/v/vellorin"
rm -rf "$apt" "$dir/$keyring" "$dir/SHA256SUMS" "$dir/SHA256SUMS.asc"
mkdir -p "$apt/$pool"
shopt -s nullglob
debs=("$dir"/*.deb)
[ ${#debs[@]} -gt 0 ] || { say "no .deb files in $dir"; exit 1; }
cp "${debs[@]}" "$apt/$pool/"
# A package for every architecture ("all") goes into each architecture's index.
mapfile -t arches < <(for d in "${debs[@]}"; do dpkg-deb -f "$d" Architecture; done | grep -vx all | LC_ALL=C sort -u)
cd "$apt"
for arch in "${arches[@]}"; do
  index="dists/$suite/$component/binary-$arch"
  mkdir -p "$index"
  # In the order of their names, not of the folder's listing.
  apt-ftparchive --arch "$arch" packages "pool/$component" >"$dir/Packages.new"
  apt-sortpkgs "$dir/Packages.new" >"$index/Packages"
  rm "$dir/Packages.new"
  gzip -9n <"$index/Packages" >"$index/Packages.gz"
done
apt-ftparchive -o APT::FTPArchive::MD5=false -o APT::FTPArchive::SHA1=false \
  -o APT::FTPArchive::Release::Origin="$origin" -o APT::FTPArchive::Release::Label="$label" \
  -o APT::FTPArchive::Release::Suite="$suite" -o APT::FTPArchive::Release::Codename="$suite" \
  -o APT::FTPArchive::Release::Architectures="${arches[*]}" \
  -o APT::FTPArchive::Release::Components="$component" \
  -o APT::FTPArchive::Release::Description="Vellorin, the Bezier patch editor" \
  -o APT::FTPArchive::Release::Date="$(LC_ALL=C date -u -d "@${SOURCE_DATE_EPOCH:-$(date +%s)}" '+%a, %d %b %Y %H:%M:%S UTC')" \
  release "dists/$suite" >"$dir/Release.new"
mv "$dir/Release.new" "dists/$suite/Release"
# The pin an administrator installs with the repository: from it apt takes vellorin and nothing
# else, so it can never replace a package of Debian's own.
cat >vellorin.pref <<EOF
Package: *
Pin: release o=$origin, l=$label
Pin-Priority: -1

Package: vellorin
Pin: release o=$origin, l=$label
Pin-Priority: 500
EOF

if [ -n "$key" ]; then
  sign --clearsign --output "dists/$suite/InRelease" "dists/$suite/Release"
  sign --armor --detach-sign --output "dists/$suite/Release.gpg" "dists/$suite/Release"
  gpg --batch --export --export-options export-minimal "$key" >"$keyring"
  cp "$keyring" "$dir/$keyring"
fi
cd "$dir"
files=()
for f in *; do [ -f "$f" ] && files+=("$f"); done
LC_ALL=C sha256sum -- "${files[@]}" >SHA256SUMS
if [ -n "$key" ]; then
  sign --armor --detach-sign --output SHA256SUMS.asc SHA256SUMS
else
  say "unsigned: no VELLORIN_SIGNING_KEY, so no SHA256SUMS.asc, no $keyring and no InRelease or Release.gpg (apt refuses the repository until it is signed)"
fi
