#!/usr/bin/env bash
# disasters.sh: the disasters people bring to a recovery tool, on volumes
# that held real photos, videos, music and documents (bench/media_corpus.sh),
# each recovered by `jexrecover restore --all --deep`, by PhotoRec (Debian's
# testdisk package) and by foremost on the same image, read from the page
# cache by all three:
#   fat32-formatted  FAT32 card filled with mtools, then mkfs.fat again
#   fat32-wiped      the same card with its boot region, backup boot sector
#                    and both tables zeroed: a card that "needs formatting"
#   exfat-formatted  exFAT card filled through exfat-fuse, then mkfs.exfat
#   exfat-wiped      the same card with both boot regions and its table zeroed
#   ntfs-formatted   NTFS disk filled through ntfs-3g, then mkntfs -Q
#   ntfs-mft-zeroed  the same disk with its MFT and the MFT's mirror zeroed
#   fat32-start-zeroed  the FAT32 card with its first 8 MiB zeroed: tables,
#                    the first folders and the start of the data
#   raw-dump         no file system: the files one after another from
#                    sector starts, with noise or zeros between
# The last three are found by their signatures, with no names.
# For each: the files that came back byte for byte (anywhere, and under their
# own name), the files written that were no file of the volume, and the time.
# The exFAT and NTFS rows need root, a loop device and /dev/fuse; without them
# they say why they are missing.
#
# Usage: bench/disasters.sh [BUILD-DIR]   (called by bench/compare.sh)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-${JEX_BUILD_DIR:-$root/build}}/bin
cache=${JEX_BENCH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/jexfilerecovery-bench}
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8 JEXFSCORE_LOG=/dev/null
have() { command -v "$1" >/dev/null 2>&1; }

# The media tools and the peer, installed where they are missing and we may.
need=()
[ -x /usr/bin/convert ] || need+=(imagemagick)
have ffmpeg || need+=(ffmpeg)
have exiftool || need+=(libimage-exiftool-perl)
have photorec || need+=(testdisk)
have foremost || need+=(foremost)
if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" -eq 0 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${need[@]}" >/dev/null
  else
    echo "disasters: needs ${need[*]} (apt-get install as root)" >&2
    exit 0
  fi
fi

media=$cache/media
if [ ! -e "$media.made" ]; then
  echo "== making the media files in $media (once)"
  rm -rf "$media"
  "$root/bench/media_corpus.sh" "$media"
  touch "$media.made"
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/jexdisasters.XXXXXX")
mnt=$work/mnt
mkdir -p "$mnt"
cleanup() { mountpoint -q "$mnt" && umount "$mnt"; rm -rf "$work"; }
trap cleanup EXIT

size=256M
# fill_fuse IMAGE MOUNT-COMMAND...: copies the media through a FUSE driver
# on a loop device; false, with the reason, where that cannot be done here.
fill_fuse() {
  local image=$1 loop; shift
  if [ "$(id -u)" -ne 0 ] || [ ! -w /dev/fuse ] || ! have "$1"; then
    echo "needs root, /dev/fuse and $1"; return 1
  fi
  loop=$(losetup --find --show "$image") || { echo "no loop device here"; return 1; }
  if ! "$@" "$loop" "$mnt" >/dev/null 2>&1; then
    losetup -d "$loop"; echo "$1 could not mount here"; return 1
  fi
  cp -r "$media"/. "$mnt"/ && sync
  umount "$mnt"
  losetup -d "$loop"
}

# make NAME: the image of one disaster in $work/NAME.img, or the reason it
# cannot be made here on stdout and false.
make() {
  local image=$work/$1.img
  truncate -s "$size" "$image"
  case $1 in
    fat32-formatted|fat32-wiped)
      mkfs.fat -F 32 "$image" >/dev/null
      (cd "$media" && mcopy -s -i "$image" ./* ::/)
      if [ "$1" = fat32-formatted ]; then
        mkfs.fat -F 32 "$image" >/dev/null
      else
        # Reserved sectors (boot, FSInfo, backup boot) and both tables.
        local reserved fat_sectors
        reserved=$(python3 -c 'import sys; b=open(sys.argv[1],"rb").read(64); print(int.from_bytes(b[14:16],"little"))' "$image")
        fat_sectors=$(python3 -c 'import sys; b=open(sys.argv[1],"rb").read(64); print(int.from_bytes(b[36:40],"little"))' "$image")
        dd if=/dev/zero of="$image" bs=512 count=$((reserved + 2 * fat_sectors)) conv=notrunc status=none
      fi ;;
    exfat-formatted|exfat-wiped)
      mkfs.exfat "$image" >/dev/null
      fill_fuse "$image" mount.exfat-fuse || return 1
      if [ "$1" = exfat-formatted ]; then
        mkfs.exfat "$image" >/dev/null
      else
        # Both boot regions, and the table up to the cluster heap.
        local heap
        heap=$(python3 -c 'import sys; b=open(sys.argv[1],"rb").read(512); print(int.from_bytes(b[88:92],"little"))' "$image")
        dd if=/dev/zero of="$image" bs=512 count="$heap" conv=notrunc status=none
      fi ;;
    ntfs-formatted|ntfs-mft-zeroed)
      mkntfs -F -Q "$image" >/dev/null 2>&1
      fill_fuse "$image" ntfs-3g || return 1
      if [ "$1" = ntfs-formatted ]; then
        mkntfs -F -Q "$image" >/dev/null 2>&1
      else
        # 4 MiB from the MFT's first cluster, and the mirror's 4 records.
        python3 - "$image" <<'PY'
import sys
with open(sys.argv[1], "r+b") as f:
    boot = f.read(512)
    cluster = int.from_bytes(boot[11:13], "little") * boot[13]
    for lcn, size in ((int.from_bytes(boot[48:56], "little"), 4 << 20), (int.from_bytes(boot[56:64], "little"), 4096)):
        f.seek(lcn * cluster)
        f.write(bytes(size))
PY
      fi ;;
    fat32-start-zeroed)
      mkfs.fat -F 32 "$image" >/dev/null
      (cd "$media" && mcopy -s -i "$image" ./* ::/)
      dd if=/dev/zero of="$image" bs=1M count=8 conv=notrunc status=none ;;
    raw-dump)
      python3 - "$media" "$image" <<'PY'
import os, random, sys
random.seed(5)
paths = sorted(os.path.join(d, n) for d, _, names in os.walk(sys.argv[1]) for n in names)
random.shuffle(paths)
with open(sys.argv[2], "r+b") as out:
    at = 0
    for path in paths:
        at += (-at) % 512
        gap = 512 * random.randint(0, 3)
        out.seek(at)
        out.write(random.randbytes(gap) if random.random() < 0.5 else bytes(gap))
        at += gap
        data = open(path, "rb").read()
        out.seek(at)
        out.write(data)
        at += len(data)
PY
      ;;
  esac
}

# judge FOLDER: "EXACT NAMED OTHER" of the files under FOLDER against the
# media: byte for byte anywhere, byte for byte under the file's own name,
# and files that match none of the media.
judge() {
  python3 - "$media" "$1" <<'PY'
import hashlib, os, sys
def files(top):
    for folder, _, names in os.walk(top):
        for name in names:
            yield name, os.path.join(folder, name)
def digest(path):
    return hashlib.sha256(open(path, "rb").read()).hexdigest()
originals = {}
for name, path in files(sys.argv[1]):
    originals[digest(path)] = name
exact, named, other = set(), set(), 0
for name, path in files(sys.argv[2]):
    d = digest(path)
    if d in originals:
        exact.add(d)
        if originals[d] == name:
            named.add(d)
    else:
        other += 1
print(len(exact), len(named), other)
PY
}

total=$(find "$media" -type f | wc -l)
echo
echo "| volume | of $total files | us: byte for byte | with their names | others written | time | PhotoRec: byte for byte | others written | time | foremost: byte for byte | others written | time | our time / PhotoRec's |"
echo "|---|---|---|---|---|---|---|---|---|---|---|---|---|"
for name in ${JEX_DISASTERS:-fat32-formatted fat32-wiped exfat-formatted exfat-wiped ntfs-formatted ntfs-mft-zeroed fat32-start-zeroed raw-dump}; do
  if ! reason=$(make "$name"); then
    echo "| $name | $reason | | | | | | | | |"
    continue
  fi
  image=$work/$name.img
  cat "$image" >/dev/null
  start=$(date +%s.%N)
  "$bin/jexrecover" restore "$image" --all --deep --to "$work/ours" --quiet >/dev/null 2>&1 || true
  ours_time=$(echo "$(date +%s.%N) - $start" | bc)
  mkdir -p "$work/ours"
  read -r ours_exact ours_named ours_other < <(judge "$work/ours")
  mkdir -p "$work/pr"
  start=$(date +%s.%N)
  (cd "$work" && photorec /d "$work/pr/recup" /cmd "$image" wholespace,search >/dev/null 2>&1) || true
  pr_time=$(echo "$(date +%s.%N) - $start" | bc)
  read -r pr_exact pr_named pr_other < <(judge "$work/pr")
  start=$(date +%s.%N)
  foremost -Q -i "$image" -o "$work/fm" >/dev/null 2>&1 || true
  fm_time=$(echo "$(date +%s.%N) - $start" | bc)
  mkdir -p "$work/fm"
  rm -f "$work/fm/audit.txt"
  read -r fm_exact fm_named fm_other < <(judge "$work/fm")
  printf '| %s | | %d | %d | %d | %.2f s | %d | %d | %.2f s | %d | %d | %.2f s | %.2f |\n' "$name" \
    "$ours_exact" "$ours_named" "$ours_other" "$ours_time" "$pr_exact" "$pr_other" "$pr_time" \
    "$fm_exact" "$fm_other" "$fm_time" "$(echo "$ours_time / $pr_time" | bc -l)"
  rm -rf "$work/ours" "$work/pr" "$work/fm" "$image"
done
