# shellcheck shell=bash
# A pristine Debian root of this machine's release, for the tests that
# install a package as its user would. Source it, then:
#   vr_root_start WORK    unpacks the root into $sysroot, with the host's
#                         package sources and name service, /proc and the
#                         download caches mounted
#   vr_root_install DEB   apt-get install ./DEB in it (pulls every dependency)
#   in_root CMD...        runs CMD in it as root
#   mount_in TARGET MOUNT-ARGS...   mounts something in it, undone on cleanup
#   vr_root_cleanup       unmounts everything and removes the root; call it
#                         from the EXIT trap
# The base root (debootstrap --variant=minbase) and the downloaded packages
# are kept in $VR_ROOTFS_CACHE (default /var/cache/voidrunner-tests), so
# only the first run downloads much. Needs root (chroot, mounts); the caller
# defines fail.

sysroot=""
mounts=()
root_work=""  # vr_root_start's WORK: the logs

vr_root_cleanup() {
    # Innermost first; lazily, so a process that still holds one cannot keep
    # the host's folders mounted inside a tree that is about to be removed.
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do umount -l "${mounts[i]}"; done
    if [ -n "$sysroot" ]; then
        if findmnt -rno TARGET | grep -q "^$sysroot/"; then
            echo "left $sysroot in place: something is still mounted in it" >&2
        else
            rm -rf --one-file-system "$sysroot"
        fi
    fi
}

mount_in() {  # mount_in TARGET MOUNT-ARGS...
    mkdir -p "$1"
    mount "${@:2}" "$1"
    mounts+=("$1")
}

in_root() { chroot "$sysroot" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"; }

vr_root_start() {  # vr_root_start WORK
    root_work=$1
    local work=$1 cache=${VR_ROOTFS_CACHE:-/var/cache/voidrunner-tests} release staging
    release=$(. /etc/os-release && echo "$VERSION_CODENAME")
    [ "$(id -u)" -eq 0 ] || fail "needs root (chroot and mounts)"
    local base=$cache/$release-minbase.tar
    mkdir -p "$cache/archives/partial" "$cache/lists/partial"
    if [ ! -s "$base" ]; then
        echo "making the base root of $release (once; kept in $base)"
        staging=$(mktemp -d "$cache/debootstrap.XXXXXX")
        debootstrap --variant=minbase "$release" "$staging" >"$work/debootstrap.log" 2>&1 ||
            { rm -rf --one-file-system "$staging"; fail "debootstrap failed (see $work/debootstrap.log)"; }
        tar -C "$staging" -cf "$base.part" . && mv "$base.part" "$base"
        rm -rf --one-file-system "$staging"
    fi
    sysroot=$(mktemp -d "${TMPDIR:-/tmp}/voidrunner-root.XXXXXX")
    tar -C "$sysroot" -xf "$base"
    chmod 755 "$sysroot"  # its users must get into it; mktemp made it private
    # The host's package sources and name service; downloads are kept.
    rm -rf "$sysroot/etc/apt/sources.list.d"
    cp -a /etc/apt/sources.list.d "$sysroot/etc/apt/"
    [ -f /etc/apt/sources.list ] && cp /etc/apt/sources.list "$sysroot/etc/apt/"
    cp /etc/resolv.conf "$sysroot/etc/resolv.conf"
    mount_in "$sysroot/proc" -t proc proc
    mount_in "$sysroot/var/cache/apt/archives" --bind "$cache/archives"
    mount_in "$sysroot/var/lib/apt/lists" --bind "$cache/lists"
    in_root apt-get update -q >"$work/apt.log" 2>&1 || fail "apt-get update failed (see $work/apt.log)"
}

vr_root_install() {  # vr_root_install DEB
    local name
    name=$(dpkg-deb -f "$1" Package)
    cp "$1" "$sysroot/root/"
    in_root sh -c "cd /root && apt-get install -y -q --no-install-recommends ./$(basename "$1")" \
        >>"$root_work/apt.log" 2>&1 || fail "apt-get install failed (see $root_work/apt.log)"
    in_root dpkg-query -W -f='${Status}\n' "$name" | grep -q 'install ok installed' ||
        fail "$name is not installed"
}
