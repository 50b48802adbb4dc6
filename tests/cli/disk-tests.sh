#!/usr/bin/env bash
# Whole disks and image containers, as a user brings them: NTFS volumes inside MBR (with an
# extended partition) and GPT partition tables, a GPT with 4096-byte sectors, a whole-disk loop
# device, and the same disk in VHD, VHDX, VMDK, QCOW2 and EWF containers (one segment and
# split, compressed and not), and children that read through their parents: a QCOW2 overlay and
# differencing VHD and VHDX disks. Each must list and recover exactly what the bare volume does.
# The disks are built here from our fixture volumes with sfdisk/sgdisk and dd; the containers with
# qemu-img and ewfacquire, the tools made for them; the differencing children, which qemu-img
# cannot make, with our make-differencing-disk.
# Usage: disk-tests.sh QUORVANE_CLI FIXTURE_DIR
set -uo pipefail
cli=$1
fixtures=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_status() { [[ $1 -eq $2 ]] || fail "$3: exit status $2, expected $1"; }
for tool in sfdisk sgdisk qemu-img ewfacquire; do
    command -v $tool >/dev/null || { echo "skipped: $tool is missing"; exit 0; }
done
# libewf keeps buffers it allocates for a read that fails until exit; that is the library's.
export LSAN_OPTIONS=${LSAN_OPTIONS:-}:suppressions=$(dirname "$0")/lsan-libraries.supp:print_suppressions=0
export TMPDIR=$work

# What a user sees of a scan and a recovery: the JSON Lines and the recovered tree's contents.
listing() { "$cli" scan --json "$@" 2>/dev/null; }
tree() {  # tree DIR: path, size and sha256 of every file below DIR
    (cd "$1" && find . -type f -print0 | LC_ALL=C sort -z | xargs -0 -r sha256sum)
}
missing_is_named() {  # what pattern ARGS...: a scan of ARGS fails (exit 1) with a message matching pattern
    local what=$1 pattern=$2
    shift 2
    "$cli" scan "$@" >/dev/null 2>"$work/err"
    expect_status 1 $? "$what"
    grep -q "$pattern" "$work/err" || fail "$what: $(cat "$work/err")"
    if grep -q "administrator" "$work/err"; then fail "$what is blamed on rights"; fi
}
same_as_bare() {  # what bare -- ARGS...: the scan and the recovery of ARGS equal the bare volume's
    local what=$1 bare=$2
    shift 3
    [[ $(listing "$@") == "$(listing "$bare")" ]] || fail "$what: the listing differs from the bare volume's"
    rm -rf "$work/a" "$work/b"
    "$cli" recover --all --to "$work/a" "$@" >/dev/null 2>&1
    "$cli" recover --all --to "$work/b" "$bare" >/dev/null 2>&1
    [[ -n $(tree "$work/b") && $(tree "$work/a") == "$(tree "$work/b")" ]] ||
        fail "$what: the recovered files differ from the bare volume's"
}

# MBR: a FAT-typed partition that holds no file system, an NTFS primary (c512), and an extended
# partition holding an NTFS logical one (rich-4k).
mbr=$work/mbr.img
truncate -s 64M "$mbr"
printf 'label: dos\nunit: sectors\nstart=2048, size=16384, type=c\nstart=18432, size=32768, type=7\nstart=53248, size=69632, type=5\nstart=55296, size=65536, type=7\n' |
    sfdisk -q "$mbr"
dd if="$fixtures/c512.img" of="$mbr" bs=512 seek=18432 conv=notrunc status=none
dd if="$fixtures/rich-4k.img" of="$mbr" bs=512 seek=55296 conv=notrunc status=none

"$cli" volumes "$mbr" >"$work/out" 2>&1
expect_status 0 $? "volumes"
grep -q "MBR partition table" "$work/out" || fail "volumes: no MBR: $(cat "$work/out")"
[[ $(grep -cE '^(2|5) .* ntfs +yes$' "$work/out") -eq 2 ]] || fail "volumes: partitions 2 and 5 are NTFS: $(cat "$work/out")"
grep -qE '^1 .* no$' "$work/out" || fail "volumes: partition 1 is not NTFS"
"$cli" scan "$mbr" >/dev/null 2>"$work/err"
expect_status 2 $? "two NTFS partitions without --partition"
grep -q "choose one with --partition N" "$work/err" || fail "no list of partitions: $(cat "$work/err")"
grep -q "partition 5: NTFS" "$work/err" || fail "the list names no partition 5"
"$cli" scan --partition 1 "$mbr" >/dev/null 2>&1
expect_status 2 $? "--partition of a partition that is not NTFS"
same_as_bare "MBR primary" "$fixtures/c512.img" -- --partition 2 "$mbr"
same_as_bare "MBR logical" "$fixtures/rich-4k.img" -- --partition 5 "$mbr"

# Exactly one NTFS partition: taken without asking, and the log says which.
one=$work/one.img
truncate -s 40M "$one"
printf 'label: dos\nunit: sectors\nstart=2048, size=16384, type=83\nstart=18432, size=32768, type=7\n' |
    sfdisk -q "$one"
dd if="$fixtures/c512.img" of="$one" bs=512 seek=18432 conv=notrunc status=none
"$cli" scan "$one" >/dev/null 2>"$work/err"
expect_status 0 $? "a disk with one NTFS partition"
grep -q "Scanning partition 2 of $one" "$work/err" || fail "the log does not say which partition"
same_as_bare "the only NTFS partition" "$fixtures/c512.img" -- "$one"

# GPT with two NTFS partitions.
gpt=$work/gpt.img
truncate -s 80M "$gpt"
sgdisk -o -n 1:2048:+32M -t 1:0700 -n 2:0:+32M -t 2:0700 "$gpt" >/dev/null
second=$(sgdisk -i 2 "$gpt" | awk '/First sector/ {print $3}')
dd if="$fixtures/c64k.img" of="$gpt" bs=512 seek=2048 conv=notrunc status=none
dd if="$fixtures/attrlist.img" of="$gpt" bs=512 seek="$second" conv=notrunc status=none
"$cli" volumes "$gpt" | grep -q "GPT partition table" || fail "volumes: no GPT"
same_as_bare "GPT 1" "$fixtures/c64k.img" -- --partition 1 "$gpt"
same_as_bare "GPT 2" "$fixtures/attrlist.img" -- --partition 2 "$gpt"

# A disk that holds no NTFS volume says so.
blank=$work/blank.img
truncate -s 16M "$blank"
printf 'label: dos\nstart=2048, type=7\n' | sfdisk -q "$blank"
"$cli" scan "$blank" >/dev/null 2>"$work/err"
expect_status 1 $? "no NTFS partition"
grep -q "holds no NTFS volume" "$work/err" || fail "no NTFS partition: $(cat "$work/err")"

# Containers of the MBR disk: found by their signature (the names say nothing).
for format in vpc vhdx vmdk qcow2; do
    qemu-img convert -f raw -O $format "$mbr" "$work/disk-$format.bin"
    "$cli" volumes "$work/disk-$format.bin" | grep -qE '^5 .* yes$' || fail "$format: volumes"
    same_as_bare "$format" "$fixtures/rich-4k.img" -- --partition 5 "$work/disk-$format.bin"
done
# A QCOW2 overlay reads what it does not hold through its backing file, found beside it; without
# that file it is named.
mkdir "$work/chain"
cp "$work/disk-qcow2.bin" "$work/chain/base.qcow2"
(cd "$work/chain" && qemu-img create -q -f qcow2 -b base.qcow2 -F qcow2 child.qcow2)
same_as_bare "QCOW2 overlay" "$fixtures/c512.img" -- --partition 2 "$work/chain/child.qcow2"
mv "$work/chain/base.qcow2" "$work/base.qcow2"
missing_is_named "a missing backing file" "its backing file .*base.qcow2 cannot be opened" \
    --partition 2 "$work/chain/child.qcow2"
# Differencing VHD and VHDX children of those containers, holding only the blocks where attrlist
# replaced rich-4k in partition 5 (qemu-img makes no such child: our generator does); the rest,
# partition 2 among it, is read through the parent beside the child, which is named when missing.
for ext in vhd vhdx; do
    mkdir "$work/$ext"
    parent=$work/$ext/parent.$ext
    cp "$work/disk-${ext/%vhd/vpc}.bin" "$parent"
    qemu-img convert -O raw "$parent" "$work/parent.raw"  # the parent's whole virtual disk
    cp "$work/parent.raw" "$work/target.raw"
    dd if="$fixtures/attrlist.img" of="$work/target.raw" bs=512 seek=55296 conv=notrunc status=none
    child=$work/$ext/child.$ext
    "$(dirname "$0")/make-differencing-disk" --format $ext "$parent" "$work/parent.raw" \
        "$work/target.raw" "$child" || fail "$ext: no differencing child made"
    # The child with its parent is the target byte for byte, as libvhdi's own tool reads it.
    mnt=$work/$ext/mnt
    if command -v vhdimount >/dev/null && mkdir "$mnt" && vhdimount "$child" "$mnt" >/dev/null 2>&1; then
        cmp -s "$mnt/vhdi2" "$work/target.raw" || fail "$ext: vhdimount reads the child otherwise"
        fusermount -u "$mnt"
    fi
    same_as_bare "$ext differencing" "$fixtures/attrlist.img" -- --partition 5 "$child"
    same_as_bare "$ext differencing, partition 2" "$fixtures/c512.img" -- --partition 2 "$child"
    mv "$parent" "$work/$ext-parent-elsewhere"
    missing_is_named "$ext: a missing parent" "its parent .*parent.$ext cannot be opened" \
        --partition 5 "$child"
done
# EWF: compressed in one segment, uncompressed split into 1 MiB segments.
ewfacquire -u -q -t "$work/whole" -c deflate:best "$mbr" >/dev/null 2>&1
ewfacquire -u -q -t "$work/split" -c none -S 1MiB "$mbr" >/dev/null 2>&1
[[ -e $work/split.E02 ]] || fail "ewfacquire made no segments"
same_as_bare "EWF compressed" "$fixtures/c512.img" -- --partition 2 "$work/whole.E01"
same_as_bare "EWF split" "$fixtures/rich-4k.img" -- --partition 5 "$work/split.E01"
# A missing segment is named, never taken for a disk of holes.
mv "$work/split.E03" "$work/elsewhere"
missing_is_named "a missing EWF segment" "a segment is missing" --partition 5 "$work/split.E01"

# 4096-byte sectors (GPT at LBA 1 = byte 4096) and a whole-disk loop device: need root.
if [[ $(id -u) -eq 0 ]] && command -v losetup >/dev/null; then
    gpt4k=$work/gpt4k.img
    truncate -s 40M "$gpt4k"
    if loop=$(losetup --sector-size 4096 -f --show "$gpt4k" 2>/dev/null); then
        sgdisk -o -n 1:256:+16M -t 1:0700 "$loop" >/dev/null
        losetup -d "$loop"
        dd if="$fixtures/s4096.img" of="$gpt4k" bs=4096 seek=256 conv=notrunc status=none
        same_as_bare "GPT with 4096-byte sectors" "$fixtures/s4096.img" -- "$gpt4k"
    fi
    if loop=$(losetup -f --show -P "$mbr" 2>/dev/null); then
        "$cli" volumes "$loop" | grep -qE '^5 .* yes$' || fail "loop device: volumes"
        same_as_bare "whole-disk loop device" "$fixtures/c512.img" -- --partition 2 "$loop"
        losetup -d "$loop"
    fi
else
    echo "skipped: 4096-byte sectors and loop devices need root"
fi

if ((failures)); then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all disk and container checks passed"
