#!/usr/bin/env bash
# What a stealth hide leaves on a disk beside the changed carrier. Makes a
# small ext4 image, copies a noisy 24-bit BMP in, hides a message in it with
# `hide --stealth`, unmounts, and searches the raw image for
#   - 4 KiB blocks of the original carrier that the hide changed (an old copy
#     of the pixels next to the new ones gives the changes away),
#   - the message itself and the program's name in any case;
#   - and, as a note, the journal's file name (".~<inode>-<device>.jnl"):
#     ext4 keeps a removed file's name in its directory block until the slot
#     is reused, so the name may stay although the journal's content is gone.
# Needs root (loop mount), mkfs.ext4 (e2fsprogs) and coreutils.
#   tools/steganalysis/remnant.sh [PATH-TO-THE-TOOL [EXTRA-MESSAGE-BYTES]]
#   (default: build/bin/kalmira, a one-line message; extra bytes of text make
#   the run change more pixels and its journal larger)
# Exit status 0 when no content is found, 1 when some is, 2 on a set-up error.
set -euo pipefail

tool=$(realpath "${1:-build/bin/kalmira}")
[ -x "$tool" ] || { echo "no tool at $tool" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "needs root for the loop mount" >&2; exit 2; }

work=$(mktemp -d)
mnt="$work/mnt"
cleanup() {
  mountpoint -q "$mnt" && umount "$mnt"
  rm -rf "$work"
}
trap cleanup EXIT

# A 640 x 480 picture of noise (a camera's sensor noise is what a carrier
# should have), rows of 1920 bytes without padding.
bmp() {
  local w=640 h=480
  local image=$((w * h * 3))
  le32() { printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)))"; }
  {
    printf 'BM'; le32 $((54 + image)); le32 0; le32 54
    le32 40; le32 $w; le32 $h; printf '\x01\x00\x18\x00'; le32 0; le32 $image; le32 2835; le32 2835; le32 0; le32 0
    head -c $image /dev/urandom
  }
}

bmp > "$work/original.bmp"
marker="Remnant-Probe-$(head -c 6 /dev/urandom | od -An -tx1 | tr -d ' \n')"
{
  printf '%s: eine geheime Botschaft.\n' "$marker"
  head -c "${2:-0}" /dev/urandom | base64 | head -c "${2:-0}"
} > "$work/message.txt"

truncate -s 64M "$work/disk.img"
mkfs.ext4 -q -F -b 4096 "$work/disk.img"
mkdir "$mnt"
mount -o loop "$work/disk.img" "$mnt"
cp "$work/original.bmp" "$mnt/carrier.bmp"
sync
# As a user would: the carrier on the disk, the message from elsewhere.
(cd "$mnt" && KALMIRA_PASSWORD=Probe-4711 TMPDIR="$mnt" "$tool" hide carrier.bmp "$work/message.txt" --text --stealth) \
  || { echo "the hide failed" >&2; exit 2; }
cp "$mnt/carrier.bmp" "$work/result.bmp"
umount "$mnt"

# Blocks of the original that the hide changed, and every block of the image, by hash.
mkdir "$work/orig" "$work/res" "$work/disk"
split -b 4096 -a 4 "$work/original.bmp" "$work/orig/b"
split -b 4096 -a 4 "$work/result.bmp" "$work/res/b"
split -b 4096 -a 5 "$work/disk.img" "$work/disk/b"
changed=0
: > "$work/changed.sha"
for f in "$work"/orig/b*; do
  if ! cmp -s "$f" "$work/res/$(basename "$f")"; then
    changed=$((changed + 1))
    sha256sum < "$f" | cut -d' ' -f1 >> "$work/changed.sha"
  fi
done
(cd "$work/disk" && sha256sum b* | cut -d' ' -f1) | sort > "$work/disk.sha"
sort -u "$work/changed.sha" -o "$work/changed.sha"
old=$(comm -12 "$work/changed.sha" "$work/disk.sha" | wc -l)

count() { grep -a -o $2 -- "$1" "$work/disk.img" | wc -l || true; }
names=$(count kalmira -i)
message=$(count "$marker" -F)
journals=$(grep -a -o -E '\.~[0-9a-f]+-[0-9a-f]+\.jnl' "$work/disk.img" | wc -l || true)

echo "carrier blocks changed by the hide:            $changed of $(ls "$work/orig" | wc -l)"
echo "old copies of changed blocks on the disk:      $old"
echo "the message in plain text:                     $message"
echo "the program's name (any case):                 $names"
echo "note: journal names in directory blocks:       $journals"
[ "$changed" -gt 0 ] || { echo "the hide changed nothing?" >&2; exit 2; }
[ "$old" -eq 0 ] && [ "$message" -eq 0 ] && [ "$names" -eq 0 ]
