#!/usr/bin/env bash
# Fetches and unpacks freeglut's Debian source package into DIR (default: the current folder),
# through a private apt configuration under DIR/apt: a deb-src line of the suite below for each
# mirror the host's apt already uses, its own lists and cache, and the host's keys. The system's
# apt sources and state are not touched. Prints the unpacked source folder last.
set -euo pipefail
# The one freeglut every Windows build uses, whatever Debian builds it: 3.4.0 as Debian 12 ships
# it (3.4.0-1). A build host of another release makes the same program.
suite=bookworm
dir="$(mkdir -p "${1:-.}" && cd "${1:-.}" && pwd)"
existing=$(find "$dir" -maxdepth 1 -type d -name 'freeglut-*' | head -n1)
if [ -n "$existing" ] && [ -f "$existing/CMakeLists.txt" ]; then
  echo "$existing"
  exit 0
fi
apt="$dir/apt"
mkdir -p "$apt/sources.list.d" "$apt/lists/partial" "$apt/cache/archives/partial"
: > "$apt/sources.list"
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
signed=""
[ -f "$keyring" ] && signed=" [signed-by=$keyring]"
apt-get indextargets --format '$(REPO_URI)' 'Identifier: Packages' 'Label: Debian' |
  sort -u | while read -r uri; do
    echo "deb-src$signed $uri $suite main" >> "$apt/sources.list"
  done
[ -s "$apt/sources.list" ] || { echo "freeglut-source: apt knows no Debian mirror" >&2; exit 1; }
opts=(-o "Dir::Etc::SourceList=$apt/sources.list" -o "Dir::Etc::SourceParts=$apt/sources.list.d"
      -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache" -o "Dir::State::status=/var/lib/dpkg/status"
      -o "APT::Sandbox::User=root" -o "Debug::NoLocking=1" -qq)
apt-get "${opts[@]}" update >&2
cd "$dir"
apt-get "${opts[@]}" source freeglut >&2
src=$(find "$dir" -maxdepth 1 -type d -name 'freeglut-*' | head -n1)
[ -n "$src" ] && [ -f "$src/CMakeLists.txt" ] || { echo "freeglut-source: no source unpacked" >&2; exit 1; }
echo "$src"
