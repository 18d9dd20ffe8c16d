#!/usr/bin/env bash
# Runs a command with a full disk at hand: a small tmpfs, filled to the last byte, whose folder
# is passed in VELTRANE_FULL_DISK, so that tests can see how a program meets a disk with no room
# left. Where mounting is not allowed (not root, no privilege) the command runs without it and
# the tests that need it say that they were skipped. The command's exit status is passed on.
# Usage: with-full-disk.sh <command> [arguments...]
set -uo pipefail
[[ $# -ge 1 ]] || { echo "usage: $0 <command> [arguments...]" >&2; exit 2; }

disk=$(mktemp -d "${TMPDIR:-/tmp}/veltrane-full.XXXXXX") || exit 2
mounted=false
cleanup() {
    if $mounted; then umount "$disk" 2>/dev/null; fi
    rmdir "$disk" 2>/dev/null
}
trap cleanup EXIT

if mount -t tmpfs -o size=64k,mode=1777 tmpfs "$disk" 2>/dev/null; then
    mounted=true
    # Files may still be made (a tmpfs counts inodes apart), but no byte more fits in them.
    dd if=/dev/zero of="$disk/filler" bs=4k 2>/dev/null || true
    export VELTRANE_FULL_DISK="$disk"
else
    echo "with-full-disk.sh: no tmpfs could be mounted; full-disk tests will be skipped" >&2
fi
"$@"
