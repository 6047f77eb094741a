# Chroots of this machine's Debian release, for the scripts that build and try the packages
# (sourced). The caller sets `work`, the folder the chroots go in, and a `say` for messages;
# `cleanup` unmounts what was mounted and removes the folder.
lacks() { say "$*"; exit 1; }
. /etc/os-release
suite="${VERSION_CODENAME:?no release name in /etc/os-release}"
# The release as its point releases give it, the same for every architecture (security's indexes
# for the ports come and go out of step with amd64's, and multiarch needs one version everywhere).
mirrors=("deb http://deb.debian.org/debian $suite main" "deb http://deb.debian.org/debian $suite-updates main")

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
    mmdebstrap --quiet --mode=root --skip=cleanup/apt/lists "$@" "$suite" "$dir" "${mirrors[@]}" 2>"$work.mmdebstrap.log" && return
    say "mmdebstrap failed (try $try of 3): $(grep -m1 -E '^E:|Err' "$work.mmdebstrap.log")"
    sleep 30
  done
  cat "$work.mmdebstrap.log" >&2
  exit 1
}

# arm binaries run through binfmt_misc with qemu-user-static's interpreters, registered as the
# package describes them when the kernel does not know them yet ("F": they work inside chroots).
emulate() {  # architecture...
  local arch cpu conf
  for arch in "$@"; do
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
}
