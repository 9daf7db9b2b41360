#!/usr/bin/env bash
# jexrecover side by side with the peers on the same images: the (quick)
# scan against `fls -rd` (The Sleuth Kit) and `ntfsundelete --scan`
# (ntfs-3g), the restore of every deleted file (after a deep search on FAT
# and exFAT, which reads the free clusters too) against `tsk_recover`, restoring to a
# tmpfs so that the destination disk does not decide. Each pair runs in
# alternation for several rounds; the table gives median times, their ratio
# and the target, then peak memory and the files that came back byte for
# byte. A large NTFS image (about 250,000 records) shows how the scan's time
# and memory grow.
#
# The images are made once and kept in the cache folder ($JEX_BENCH_CACHE,
# else ~/.cache/jexfilerecovery-bench; about 5 GiB, sparse):
#   fat32.img   1.2 GB FAT32, 20,000 files in 200 folders; 100 folders with
#               their 10,000 files deleted (mtools)
#   fat16.img   2 GB FAT16 card (32 KiB clusters) of the same shape
#   ntfs.img    NTFS, 50,000 files in 250 folders, every second one deleted
#               (libntfs-3g)
#   ntfs-large.img  NTFS, 250,000 small files in 1,250 folders, half deleted
#   ntfs-folders.img  1.2 GB NTFS, 500 folders of 100 files of 300 B to
#               30 KB, every second folder deleted whole through an ntfs-3g
#               mount (needs root and /dev/fuse, as the exFAT image does)
#   exfat.img   1.2 GB exFAT of the FAT32 image's shape, filled and emptied
#               through exfat-fuse (needs root, a loop device and /dev/fuse;
#               without them the exFAT rows say why they are missing)
# Each has IMAGE.list ("START SIZE PATH" per deleted file) and
# IMAGE.list.pattern: a deleted file held the pattern's bytes from START.
#
# Restores are also timed into a folder on a disk-backed file system
# (--disk, else /var/tmp where it is not a tmpfs), each command followed by
# `sync`: tsk_recover leaves its files unflushed, we flush ours, and the
# sync puts both on the disk. `bench/restore_calls.sh` then counts the
# system calls per restored file on the NTFS images.
#
# Usage: bench/compare.sh [--rounds N] [--fat32 IMAGE] [--fat16 IMAGE] [--ntfs IMAGE] [--exfat IMAGE] [--no-large]
#                         [--disk FOLDER] [--restores]
#   Images given are used as they are; without an IMAGE.list beside them,
#   byte-exact counts are not given. --restores times the restores alone.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rounds=3
fat=""
fat16=""
ntfs=""
exfat=""
large=1
restores_only=0
disk=/var/tmp
while [ $# -gt 0 ]; do
  case $1 in
    --rounds) rounds=$2; shift 2 ;;
    --fat32) fat=$(realpath "$2"); shift 2 ;;
    --fat16) fat16=$(realpath "$2"); shift 2 ;;
    --ntfs) ntfs=$(realpath "$2"); shift 2 ;;
    --exfat) exfat=$(realpath "$2"); shift 2 ;;
    --no-large) large=0; shift ;;
    --disk) disk=$2; shift 2 ;;
    --restores) restores_only=1; large=0; shift ;;
    *) echo "usage: $0 [--rounds N] [--fat32 IMAGE] [--fat16 IMAGE] [--ntfs IMAGE] [--exfat IMAGE] [--no-large] [--disk FOLDER] [--restores]" >&2; exit 2 ;;
  esac
done
"$root/scripts/setup"
"$root/scripts/build" >/dev/null
build=${JEX_BUILD_DIR:-$root/build}
bin=$build/bin
cache=${JEX_BENCH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/jexfilerecovery-bench}
mkdir -p "$cache"
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8 JEXFSCORE_LOG=/dev/null
have() { command -v "$1" >/dev/null 2>&1; }

# The restores write here: a tmpfs of their own where root may mount one,
# else /dev/shm.
out=$(mktemp -d /dev/shm/jexcompare.XXXXXX)
work=$(mktemp -d "${TMPDIR:-/tmp}/jexcompare.XXXXXX")
mounted=0
if [ "$(id -u)" -eq 0 ] && mount -t tmpfs -o size=8g tmpfs "$out" 2>/dev/null; then
  mounted=1
fi
# The restores to a disk write below $disk, where it is no tmpfs.
dout=""
if [ -d "$disk" ] && [ "$(stat -f -c %T "$disk")" != tmpfs ]; then
  dout=$(mktemp -d "$disk/jexcompare.XXXXXX")
fi
cleanup() {
  rm -rf "${out:?}"/* 2>/dev/null || true
  [ -n "$dout" ] && rm -rf "$dout"
  [ $mounted -eq 1 ] && umount "$out"
  rm -rf "$out" "$work"
}
trap cleanup EXIT

# tree FOLDER LIST [folders]: the FAT32 and exFAT images' files, with the
# list of those that the odd folders hold, which are deleted; with
# "folders", the shape of ntfs-folders.img (500 folders of 100 files of
# 300 B to 30 KB).
tree() {
  python3 - "$1" "$2" "${3:-cards}" <<'PY'
import os, random, sys
top, listing, shape = sys.argv[1], sys.argv[2], sys.argv[3]
cards = shape == "cards"
random.seed(7 if cards else 9)
largest = 256 * 1024 if cards else 30 * 1024
pattern = random.randbytes(2 * largest)
with open(listing + ".pattern", "wb") as out:
    out.write(pattern)
with open(listing, "w") as deleted:
    n = 0
    for f in range(200 if cards else 500):
        rel = "Ordner %02d/Teil %03d" % (f // 20, f) if cards else "Ordner %03d" % f
        os.makedirs(os.path.join(top, rel), exist_ok=True)
        for i in range(100):
            if cards:
                size = random.randint(1024, 32 * 1024) if random.random() < 0.8 else random.randint(64 * 1024, largest)
            else:
                size = random.randint(300, largest)
            start = n * 9973 % largest
            n += 1
            path = "%s/Datei %05d.bin" % (rel, f * 100 + i)
            with open(os.path.join(top, path), "wb") as out:
                out.write(pattern[start:start + size])
            if f % 2 == 1:
                deleted.write("%d %d %s\n" % (start, size, path))
PY
}

# make_fat IMAGE BITS: FAT32 of 1.2 GB, or a FAT16 card of 2 GB.
make_fat() {
  local image=$1 src="$work/fat-src"
  echo "== making $image (once)"
  tree "$src" "$image.list"
  rm -f "$image"
  if [ "$2" = 32 ]; then
    mkfs.fat -F 32 -C "$image" 1200000 >/dev/null
  else
    mkfs.fat -F 16 -s 64 -C "$image" 2000000 >/dev/null
  fi
  (cd "$src" && mcopy -s -i "$image" ./* ::/)
  for f in $(seq 1 2 199); do
    mdeltree -i "$image" "::/Ordner $(printf %02d $((f / 20)))/Teil $(printf %03d "$f")"
  done
  rm -rf "$src"
}

# make_exfat IMAGE: false, with the reason on stderr, where exfat-fuse
# cannot mount it here.
make_exfat() {
  local image=$1 src="$work/exfat-src" mnt="$work/exfat-mnt" loop
  if [ "$(id -u)" -ne 0 ] || [ ! -w /dev/fuse ] || ! have mount.exfat-fuse; then
    echo "   exFAT: exfat-fuse on a loop device needs root and /dev/fuse" >&2
    return 1
  fi
  echo "== making $image (once)"
  rm -f "$image" "$image.list"
  # 4 KiB clusters, as mkfs.fat gives the FAT32 image.
  truncate -s 1200M "$image"
  mkfs.exfat -c 4K "$image" >/dev/null
  loop=$(losetup --find --show "$image") || { echo "   exFAT: no loop device here" >&2; return 1; }
  mkdir -p "$mnt"
  if ! mount.exfat-fuse "$loop" "$mnt" >/dev/null 2>&1; then
    losetup -d "$loop"
    echo "   exFAT: exfat-fuse could not mount here" >&2
    return 1
  fi
  tree "$src" "$image.list.new"
  local failed=0
  cp -r "$src"/. "$mnt"/ || failed=1
  for f in $(seq 1 2 199); do
    [ $failed -eq 0 ] && { rm -r "$mnt/Ordner $(printf %02d $((f / 20)))/Teil $(printf %03d "$f")" || failed=1; }
  done
  umount "$mnt"
  losetup -d "$loop"
  if [ $failed -ne 0 ]; then
    rm -rf "$src" "$image" "$image.list.new"*
    echo "   exFAT: the image could not be filled" >&2
    return 1
  fi
  rm -rf "$src"
  mv "$image.list.new.pattern" "$image.list.pattern"
  mv "$image.list.new" "$image.list"
}

# make_ntfs_folders IMAGE: 500 folders of 100 files written through an
# ntfs-3g mount, every second folder then removed with `rm -r`; false, with
# the reason on stderr, where ntfs-3g cannot mount here.
make_ntfs_folders() {
  local image=$1 mnt="$work/ntfs-mnt"
  if [ "$(id -u)" -ne 0 ] || [ ! -w /dev/fuse ] || ! have ntfs-3g; then
    echo "   NTFS with folders deleted whole: an ntfs-3g mount needs root and /dev/fuse" >&2
    return 1
  fi
  echo "== making $image (once)"
  rm -f "$image" "$image.list"
  truncate -s 1200M "$image"
  mkntfs -F -Q "$image" >/dev/null 2>&1
  mkdir -p "$mnt"
  ntfs-3g "$image" "$mnt" || { echo "   NTFS with folders deleted whole: ntfs-3g could not mount" >&2; return 1; }
  local failed=0
  tree "$mnt" "$image.list.new" folders || failed=1
  for f in $(seq 1 2 499); do
    [ $failed -eq 0 ] && { rm -r "$mnt/Ordner $(printf %03d "$f")" || failed=1; }
  done
  umount "$mnt"
  if [ $failed -ne 0 ]; then
    rm -f "$image" "$image.list.new"*
    echo "   NTFS with folders deleted whole: the image could not be filled" >&2
    return 1
  fi
  mv "$image.list.new.pattern" "$image.list.pattern"
  mv "$image.list.new" "$image.list"
}

make_ntfs() {
  local image=$1 folders=$2 files=$3 kind=$4
  echo "== making $image (once)"
  rm -f "$image"
  truncate -s "$5" "$image"
  mkntfs -F -Q "$image" >/dev/null 2>&1
  "$bin/jexntfs-edit" "$image" "$kind" "$folders" "$files" "$image.list"
}

if [ -z "$fat" ]; then
  fat=$cache/fat32.img
  [ -s "$fat.list" ] || make_fat "$fat" 32
fi
if [ -z "$fat16" ]; then
  fat16=$cache/fat16.img
  [ -s "$fat16.list" ] || make_fat "$fat16" 16
fi
if [ -z "$ntfs" ]; then
  ntfs=$cache/ntfs.img
  [ -s "$ntfs.list" ] || make_ntfs "$ntfs" 250 200 fill 2G
fi
if [ -z "$exfat" ]; then
  exfat=$cache/exfat.img
  [ -s "$exfat.list" ] || make_exfat "$exfat" || exfat=""
fi
ntfs_empty=$cache/ntfs-empty.img
if [ ! -s "$ntfs_empty" ]; then
  truncate -s 2G "$ntfs_empty"
  mkntfs -F -Q "$ntfs_empty" >/dev/null 2>&1
fi
ntfs_folders=$cache/ntfs-folders.img
[ -s "$ntfs_folders.list" ] || make_ntfs_folders "$ntfs_folders" || ntfs_folders=""
ntfs_large=$cache/ntfs-large.img
if [ $large -eq 1 ] && [ ! -s "$ntfs_large.list" ]; then
  make_ntfs "$ntfs_large" 1250 200 fill-small 1G
fi

# run NAME COMMAND...: one timed run; appends "wall cpu peak-KiB" to
# $work/NAME.
run() {
  local name=$1
  shift
  rm -rf "${out:?}"/*
  sync
  /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" >/dev/null 2>"$work/$name.err" || true
  # A program that could not run at all is no figure.
  if grep -q "Command exited with non-zero status 12[67]" "$work/time"; then
    echo "   $name: $* could not run: $(head -c 300 "$work/$name.err")" >&2
    return
  fi
  grep -v "^Command" "$work/time" > "$work/time.only" || true
  mv "$work/time.only" "$work/time"
  awk '{ print $1, $2 + $3, $4 }' "$work/time" >> "$work/$name"
}
# run_disk NAME COMMAND...: the same into $dout, with a sync after the
# command inside the time.
run_disk() {
  local name=$1
  shift
  [ -n "$dout" ] || return 0
  rm -rf "${dout:?}"/*
  sync
  /usr/bin/time -f '%e %U %S %M' -o "$work/time" bash -c '"$@" >/dev/null 2>&1; sync' _ "$@" \
    2>"$work/$name.err" || true
  grep -v "^Command" "$work/time" | awk '{ print $1, $2 + $3, $4 }' >> "$work/$name"
}
# median NAME COLUMN (1 wall, 2 cpu, 3 peak KiB)
median() {
  awk -v c="$2" '{ print $c }' "$work/$1" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
# exact LIST FOLDER: the deleted files that came back byte for byte, as
# "AT-THEIR-PATH ANYWHERE": at their own path under FOLDER, and under any
# path with their own name (a file whose folder could not be told is
# restored under $OrphanFiles).
exact() {
  [ -s "$1" ] || { echo "- -"; return; }
  python3 - "$1" "$2" <<'PY'
import os, sys
listing, top = sys.argv[1], sys.argv[2]
pattern = open(listing + ".pattern", "rb").read()
by_name = {}
for folder, _, files in os.walk(top):
    for name in files:
        by_name.setdefault(name, []).append(os.path.join(folder, name))
def same(path, want):
    try:
        with open(path, "rb") as f:
            return f.read() == want
    except OSError:
        return False
at_path = anywhere = 0
for line in open(listing):
    start, size, path = line.rstrip("\n").split(" ", 2)
    want = pattern[int(start):int(start) + int(size)]
    if same(os.path.join(top, path), want):
        at_path += 1
        anywhere += 1
    elif any(same(p, want) for p in by_name.get(os.path.basename(path), [])):
        anywhere += 1
print(at_path, anywhere)
PY
}

# /usr/bin/time runs programs, not shell functions.
ours_scan=("$bin/jexrecover" scan --quiet)

scans=$([ $restores_only -eq 0 ] && echo 1 || echo 0)
echo "== $rounds rounds, each pair in alternation"
for r in $(seq 1 "$rounds"); do
  echo "   round $r"
  if [ "$scans" -eq 1 ]; then
    run fat_scan "${ours_scan[@]}" "$fat"
    have fls && run fat_fls fls -rd "$fat"
    run ntfs_scan "${ours_scan[@]}" "$ntfs"
    have fls && run ntfs_fls fls -rd "$ntfs"
    have ntfsundelete && run ntfs_nu ntfsundelete --scan --force "$ntfs"
  fi
  # Both NTFS images: NAME_restore and NAME_tsk to the tmpfs, NAME_disk
  # and NAME_tsk_disk to the disk, and their byte-exact counts.
  for name in ntfs ntfs2; do
    image=$ntfs
    if [ $name = ntfs2 ]; then
      [ -n "$ntfs_folders" ] || continue
      image=$ntfs_folders
    fi
    run "${name}_restore" "$bin/jexrecover" restore "$image" --to "$out/ours" --all --quiet
    [ "$r" -eq "$rounds" ] && printf -v "${name}_exact" '%s' "$(exact "$image.list" "$out/ours")"
    if have tsk_recover; then
      run "${name}_tsk" tsk_recover "$image" "$out/tsk"
      [ "$r" -eq "$rounds" ] && printf -v "${name}_tsk_exact" '%s' "$(exact "$image.list" "$out/tsk")"
    fi
  done
  if [ -n "$ntfs_folders" ]; then
    run_disk ntfs2_disk "$bin/jexrecover" restore "$ntfs_folders" --to "$dout/ours" --all --quiet
    have tsk_recover && run_disk ntfs2_tsk_disk tsk_recover "$ntfs_folders" "$dout/tsk"
  fi
  run_disk fat_disk "$bin/jexrecover" restore "$fat" --deep --to "$dout/ours" --all --quiet
  have tsk_recover && run_disk fat_tsk_disk tsk_recover "$fat" "$dout/tsk"
  if [ -n "$exfat" ]; then
    if [ "$scans" -eq 1 ]; then
      run exfat_scan "${ours_scan[@]}" "$exfat"
      have fls && run exfat_fls fls -rd "$exfat"
    fi
    run exfat_restore "$bin/jexrecover" restore "$exfat" --deep --to "$out/ours" --all --quiet
    [ "$r" -eq "$rounds" ] && exfat_exact=$(exact "$exfat.list" "$out/ours")
    if have tsk_recover; then
      run exfat_tsk tsk_recover "$exfat" "$out/tsk"
      [ "$r" -eq "$rounds" ] && exfat_tsk_exact=$(exact "$exfat.list" "$out/tsk")
    fi
  fi
  # FAT32 (scanned above) and FAT16: NAME_restore, NAME_tsk and their
  # byte-exact counts in NAME_exact and NAME_tsk_exact.
  for name in fat fat16; do
    image=${!name}
    if [ "$name" = fat16 ] && [ "$scans" -eq 1 ]; then
      run fat16_scan "${ours_scan[@]}" "$image"
      have fls && run fat16_fls fls -rd "$image"
    fi
    run "${name}_restore" "$bin/jexrecover" restore "$image" --deep --to "$out/ours" --all --quiet
    [ "$r" -eq "$rounds" ] && printf -v "${name}_exact" '%s' "$(exact "$image.list" "$out/ours")"
    if have tsk_recover; then
      run "${name}_tsk" tsk_recover "$image" "$out/tsk"
      [ "$r" -eq "$rounds" ] && printf -v "${name}_tsk_exact" '%s' "$(exact "$image.list" "$out/tsk")"
    fi
  done
done
found() { "$bin/jexrecover" scan "$1" --deep --json --quiet | python3 -c 'import json, sys; print(json.load(sys.stdin)["summary"]["found"])'; }
fat_found=$(found "$fat")
ntfs_found=$(found "$ntfs")
count() { [ -s "$1" ] && wc -l < "$1" || echo "-"; }

# row WORK OURS PEER-NAME PEER COLUMN TARGET
row() {
  local ours peer ratio met
  ours=$(median "$2" "$5")
  if [ ! -s "$work/$4" ]; then
    printf '| %s | %.2f s | %s | not installed | %s | - |\n' "$1" "$ours" "$3" "$6"
    return
  fi
  peer=$(median "$4" "$5")
  ratio=$(awk -v a="$ours" -v b="$peer" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
  met=$(awk -v r="$ratio" -v t="$6" 'BEGIN { print (r <= t ? "yes" : "no") }')
  printf '| %s | %.2f s | %s %.2f s | %s | <= %s | %s |\n' "$1" "$ours" "$3" "$peer" "$ratio" "$6" "$met"
}
echo
echo "| work | us | peer | ratio | target | met |"
echo "|---|---|---|---|---|---|"
if [ "$scans" -eq 1 ]; then
  row "FAT32 scan" fat_scan '`fls -rd`' fat_fls 1 0.5
  row "NTFS scan" ntfs_scan '`fls -rd`' ntfs_fls 1 0.5
  row "NTFS scan (CPU)" ntfs_scan '`ntfsundelete -s`' ntfs_nu 2 0.8
  row "NTFS scan (wall)" ntfs_scan '`ntfsundelete -s`' ntfs_nu 1 0.8
fi
row "NTFS restore of every found file" ntfs_restore '`tsk_recover`' ntfs_tsk 1 0.7
[ -n "$ntfs_folders" ] &&
  row "NTFS (folders deleted whole) restore of every found file" ntfs2_restore '`tsk_recover`' ntfs2_tsk 1 0.7
row "FAT32 restore of every found file" fat_restore '`tsk_recover`' fat_tsk 1 0.7
if [ -n "$dout" ]; then
  [ -n "$ntfs_folders" ] &&
    row "NTFS (folders deleted whole) restore to a disk, sync after" ntfs2_disk '`tsk_recover`' ntfs2_tsk_disk 1 0.8
  row "FAT32 restore to a disk, sync after" fat_disk '`tsk_recover`' fat_tsk_disk 1 0.8
else
  echo "| restores to a disk | $disk is no folder on a disk-backed file system | | | | |"
fi
[ "$scans" -eq 1 ] && row "FAT16 scan" fat16_scan '`fls -rd`' fat16_fls 1 0.5
row "FAT16 restore of every found file" fat16_restore '`tsk_recover`' fat16_tsk 1 0.7
if [ -n "$exfat" ]; then
  [ "$scans" -eq 1 ] && row "exFAT scan" exfat_scan '`fls -rd`' exfat_fls 1 0.5
  row "exFAT restore of every found file" exfat_restore '`tsk_recover`' exfat_tsk 1 0.7
else
  echo "| exFAT | no image: exfat-fuse could not make one here | | | | |"
fi
# Memory per found file: what the scan takes beyond the scan of an empty
# NTFS volume (the program, its libraries and the volume's own tables),
# divided by the files found; the whole peak divided by them beside it.
if [ "$scans" -eq 1 ]; then
for r in $(seq 1 "$rounds"); do run empty_scan "${ours_scan[@]}" "$ntfs_empty"; done
empty_peak=$(median empty_scan 3)
ntfs_peak=$(median ntfs_scan 3)
per_file() { awk -v k="$1" -v e="$empty_peak" -v n="$2" 'BEGIN { printf "%.0f", (k - e) * 1024 / n }'; }
whole_per_file() { awk -v k="$1" -v n="$2" 'BEGIN { printf "%.0f", k * 1024 / n }'; }
printf '| NTFS scan peak memory | %.1f MiB for %s found files | `fls` %s | %s bytes per found file (%s with the program itself) | <= 600 bytes per found file | %s |\n' \
  "$(awk -v k="$ntfs_peak" 'BEGIN { print k / 1024 }')" "$ntfs_found" \
  "$( [ -s "$work/ntfs_fls" ] && awk -v k="$(median ntfs_fls 3)" 'BEGIN { printf "%.1f MiB", k / 1024 }' || echo "not installed")" \
  "$(per_file "$ntfs_peak" "$ntfs_found")" "$(whole_per_file "$ntfs_peak" "$ntfs_found")" \
  "$( [ "$(per_file "$ntfs_peak" "$ntfs_found")" -le 600 ] && echo yes || echo no)"
fi
echo
pair() { set -- ${1:-- -}; echo "$1 at their path, $2 anywhere"; }
echo "byte for byte, of $(count "$ntfs.list") deleted NTFS files: us $(pair "$ntfs_exact"), tsk_recover $(pair "${ntfs_tsk_exact:-}")"
[ -n "$ntfs_folders" ] && echo "byte for byte, of $(count "$ntfs_folders.list") deleted NTFS files in folders deleted whole: us $(pair "$ntfs2_exact"), tsk_recover $(pair "${ntfs2_tsk_exact:-}")"
echo "byte for byte, of $(count "$fat.list") deleted FAT32 files: us $(pair "$fat_exact"), tsk_recover $(pair "${fat_tsk_exact:-}")"
echo "byte for byte, of $(count "$fat16.list") deleted FAT16 files: us $(pair "$fat16_exact"), tsk_recover $(pair "${fat16_tsk_exact:-}")"
[ -n "$exfat" ] && echo "byte for byte, of $(count "$exfat.list") deleted exFAT files: us $(pair "${exfat_exact:-}"), tsk_recover $(pair "${exfat_tsk_exact:-}")"
echo "found: FAT32 $fat_found deleted files, NTFS $ntfs_found$([ -n "$exfat" ] && echo ", exFAT $(found "$exfat")")"
for name in fat_scan fat_fls fat16_scan fat16_fls fat16_restore fat16_tsk ntfs_scan ntfs_fls ntfs_nu ntfs_restore ntfs_tsk \
    ntfs2_restore ntfs2_tsk ntfs2_disk ntfs2_tsk_disk fat_restore fat_tsk fat_disk fat_tsk_disk exfat_scan exfat_fls \
    exfat_restore exfat_tsk; do
  [ -s "$work/$name" ] && printf '  %-13s median %6.2f s wall, %6.2f s CPU, %8.1f MiB peak\n' "$name" \
    "$(median "$name" 1)" "$(median "$name" 2)" "$(awk -v k="$(median "$name" 3)" 'BEGIN { print k / 1024 }')"
done

# System calls per restored file, on both NTFS images.
if have strace; then
  for image in "$ntfs" ${ntfs_folders:+"$ntfs_folders"}; do
    echo
    echo "system calls per restored file, $(basename "$image"):"
    "$root/bench/restore_calls.sh" "$image" | sed 's/^/  /'
  done
fi
[ "$restores_only" -eq 1 ] && exit 0

# Growth: the scan at both sizes, per record and per found file.
if [ $large -eq 1 ]; then
  for r in $(seq 1 "$rounds"); do run large_scan "${ours_scan[@]}" "$ntfs_large"; done
  echo
  echo "| NTFS image | records | found | scan | per record | peak memory | per found file | with the program itself |"
  echo "|---|---|---|---|---|---|---|---|"
  for name in ntfs_scan large_scan; do
    image=$ntfs
    [ $name = large_scan ] && image=$ntfs_large
    n=$(found "$image")
    mft=$(ntfsinfo -i 0 "$image" 2>/dev/null | awk '/Initialized size/ { print $3; exit }')
    recs=$(( ${mft:-0} / 1024 ))
    awk -v w="$(median "$name" 1)" -v k="$(median "$name" 3)" -v e="$empty_peak" -v n="$n" -v rec="$recs" \
        -v img="$(basename "$image")" 'BEGIN {
      printf "| %s | %d | %d | %.2f s | %.2f µs | %.1f MiB | %.0f bytes | %.0f bytes |\n", img, rec, n, w,
             (rec > 0 ? w * 1e6 / rec : 0), k / 1024, (k - e) * 1024 / n, k * 1024 / n
    }'
  done
fi

# Quick and deep searches, by the bytes they read (what a card reader
# costs): a 64 GiB FAT32 card (sparse, 32 KiB clusters) with 300 photos in
# a folder, 100 of them deleted. The quick search reads the table and the
# folders; the deep one reads the whole card once. Also the FAT32 image's
# search after mkfs.fat formatted it anew, quick and deep, by the deleted
# files that come back byte for byte.
card=$cache/card64.img
if [ ! -e "$card.made" ]; then
  echo "== making $card (once, sparse)"
  rm -f "$card"
  truncate -s 64G "$card"
  mkfs.fat -F 32 -s 64 "$card" >/dev/null
  mkdir -p "$work/card/DCIM"
  python3 - "$work/card/DCIM" <<'PY'
import os, random, sys
random.seed(11)
for i in range(300):
    with open(os.path.join(sys.argv[1], "IMG_%04d.JPG" % (1000 + i)), "wb") as out:
        out.write(random.randbytes(20000 + 37 * i))
PY
  (cd "$work/card" && mcopy -s -i "$card" DCIM ::/)
  mdel -i "$card" "::/DCIM/IMG_11*.JPG"
  touch "$card.made"
fi
read_json() { "$bin/jexrecover" scan "$1" $2 --json --quiet | python3 -c 'import json, sys; s = json.load(sys.stdin)["summary"]; print(s["found"], s["bytesRead"])'; }
card_size=$(stat -c %s "$card")
echo
echo "| search | volume | found | bytes read | of the volume | target |"
echo "|---|---|---|---|---|---|"
for mode in "" --deep; do
  read -r n bytes < <(read_json "$card" "$mode")
  awk -v m="${mode:-quick}" -v n="$n" -v b="$bytes" -v s="$card_size" 'BEGIN {
    printf "| %s | 64 GiB FAT32 card | %d | %.1f MiB | %.4f | %s |\n", (m == "quick" ? "quick" : "deep"), n, b / 1048576, b / s,
           (m == "quick" ? "<= 64 MiB" : "<= 1.05 of the volume") }'
done
formatted=$work/formatted.img
cp --sparse=always "$fat" "$formatted"
mkfs.fat -F 32 "$formatted" >/dev/null
for mode in "" --deep; do
  rm -rf "${out:?}"/*
  "$bin/jexrecover" restore "$formatted" $mode --to "$out/ours" --all --quiet >/dev/null 2>&1 || true
  mkdir -p "$out/ours"
  read -r at_path anywhere < <(exact "$fat.list" "$out/ours")
  printf '| %s | FAT32 image formatted anew | of %s deleted files: %s back byte for byte at their path, %s anywhere | | | |\n' \
    "$([ -n "$mode" ] && echo deep || echo quick)" "$(count "$fat.list")" "$at_path" "$anywhere"
done

# The disasters on volumes of real media, against PhotoRec.
"$root/bench/disasters.sh" "$build"
