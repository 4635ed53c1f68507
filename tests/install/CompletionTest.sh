#!/usr/bin/env bash
# CompletionTest.sh COMPLETION DSPCTL: dspctl's bash completion, sourced as
# bash-completion does, on command lines typed up to the cursor; each row
# names what it must offer there.
set -u
# shellcheck source=/dev/null
source "$1"
dspctl=$2
# compopt only tells bash how to show the words, and works only inside a
# completion bash started itself.
# shellcheck disable=SC2317
compopt() { :; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
touch "$dir/batch.txt"
failed=0

row() {
    local line=$1
    shift
    read -ra COMP_WORDS <<<"$line"
    [[ $line == *' ' ]] && COMP_WORDS+=("")
    COMP_WORDS[0]=$dspctl
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _dspctl
    if [[ "${COMPREPLY[*]}" != "$*" ]]; then
        echo "FAIL: \"$line\" offers \"${COMPREPLY[*]}\", not \"$*\""
        failed=1
    fi
}

row "dspctl --de" --device
row "dspctl sim --d" --dspd
row "dspctl -b 1152" 115200
row "dspctl --baud = 1152" 115200
row "dspctl --timeout = 2 sim" sim
row "dspctl sim --server-log = $dir/ba" "$dir/batch.txt"
row "dspctl -t 2 sim" sim
row "dspctl -d /dev/ptm" /dev/ptmx
row "dspctl -f $dir/ba" "$dir/batch.txt"
row "dspctl mpbin $dir/b" "$dir/batch.txt"
row "dspctl sim -t 2 " ""
# The command words come from dspctl --complete; a dspctl without it skips
# these rows (status 77).
if ! "$dspctl" --complete >/dev/null 2>&1; then
    echo "dspctl has no --complete: command word rows skipped"
    [ $failed -eq 0 ] && exit 77
    exit 1
fi
row "dspctl -d /dev/ptmx hfs" hfsync
row "dspctl sync --j" --json
exit $failed
