#!/usr/bin/env bash
# apt-ensure.sh PACKAGE...: installs the Debian packages among PACKAGE that
# are missing. Does nothing (and asks no archive) when all are installed;
# otherwise refreshes the package lists once and installs quietly, without
# recommended extras. Needs root, or sudo; without either it names what is
# missing and fails.
set -euo pipefail

# A name without an architecture means the machine's own (or "all"): with
# a cross architecture's copy installed too, dpkg-query lists both.
native=$(dpkg --print-architecture)
installed() {
    local arch="($native|all)"
    [[ $1 == *:* ]] && arch="[^ ]+"
    dpkg-query -W -f='${Architecture} ${Status}\n' "$1" 2>/dev/null |
        grep -Eqx "$arch install ok installed"
}

missing=()
for package in "$@"; do
    installed "$package" || missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
        echo "apt-ensure: missing Debian packages: ${missing[*]}" >&2
        echo "apt-ensure: installing them needs root or sudo, and neither is at hand:" \
            "run this as root, or have them installed (apt-get install ${missing[*]})" >&2
        exit 1
    fi
    as_root=(sudo)
fi
echo "apt-ensure: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! { "${as_root[@]}" apt-get update -qq &&
    "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"; } \
    >"$log" 2>&1; then
    cat "$log" >&2
    echo "apt-ensure: installing ${missing[*]} failed" >&2
    exit 1
fi
