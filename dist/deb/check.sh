#!/usr/bin/env bash
# check.sh PACKAGE [ROOT]: lintian on the host tools' package, then installs
# it on a clean Debian 12 root (debootstrap minbase into ROOT, default
# build-deb/root, made anew), checks that `dspctl sim` answers "status" from
# the installed files only, removes the package and checks that none of its
# files are left. Needs root and Debian's archive; prints each step's time.
set -euo pipefail
deb=$(realpath "$1")
root=$(realpath -m "${2:-$(dirname "$deb")/root}")
start=$(date +%s)
step() { echo "package check: $1 ($(($(date +%s) - start)) s)"; }

lintian --fail-on error,warning "$deb"
step "lintian clean"

unmount() {
    for mount in "$root/dev" "$root/proc"; do
        if mountpoint -q "$mount"; then
            umount -R "$mount" || echo "package check: cannot unmount $mount" >&2
        fi
    done
}
unmount
rm -rf --one-file-system "$root"
trap unmount EXIT
trap 'exit 1' INT TERM HUP
debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian >"$root.log" 2>&1 || {
    tail -n 20 "$root.log" >&2
    echo "package check: debootstrap failed (log: $root.log)" >&2
    exit 1
}
step "clean root in $root"
# The simulated device's pseudo-terminal needs /dev/pts; dspctl reads /proc.
mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"
mount --make-rslave "$root/dev"

in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin "$@"; }
# The package's paths that the clean root lacks: after removal they must be
# gone again.
mapfile -t paths < <(dpkg-deb --fsys-tarfile "$deb" | tar -t | sed 's|^\./|/|; s|/$||')
own=()
for path in "${paths[@]}"; do
    [ -n "$path" ] && [ ! -e "$root$path" ] && own+=("$path")
done
cp "$deb" "$root/tmp/"
if ! in_root DEBIAN_FRONTEND=noninteractive sh -c "apt-get update -qq &&
    apt-get install -y -qq --no-install-recommends /tmp/$(basename "$deb")" >"$root.log" 2>&1; then
    cat "$root.log" >&2
    echo "package check: installing the package failed" >&2
    exit 1
fi
step "installed with its dependencies"

reply=$(printf 'status\n' | in_root dspctl sim 2>&1) || {
    echo "package check: dspctl sim failed: $reply" >&2
    exit 1
}
if ! grep -qx '\[ok\]' <<<"$reply"; then
    echo "package check: no [ok] to status from the installed dspctl sim:" >&2
    echo "$reply" >&2
    exit 1
fi
step "installed dspctl sim answers status with [ok]"

in_root apt-get purge -y -qq dspctl >"$root.log" 2>&1 || {
    cat "$root.log" >&2
    exit 1
}
left=()
for path in "${own[@]}"; do
    [ -e "$root$path" ] && left+=("$path")
done
if [ ${#left[@]} -gt 0 ]; then
    echo "package check: left after removal: ${left[*]}" >&2
    exit 1
fi
step "removed, none of its ${#own[@]} files and directories left"
