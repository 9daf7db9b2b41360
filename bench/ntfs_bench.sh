#!/usr/bin/env bash
# NTFS benchmark: an image with more than 50,000 MFT records, half of them
# deleted files in a few hundred folders (filled through libntfs-3g). Times
# the scan (records per second) and the restore of every found file (MB/s),
# and prints them against `ntfsundelete --scan` and `cat IMAGE` on the same
# image in the same run.
#
# Usage: bench/ntfs_bench.sh [WORK-FOLDER]   (needs about 3 GiB free)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup"
"$root/scripts/build" >/dev/null
build=${JEX_BUILD_DIR:-$root/build}

work=$(mktemp -d "${1:-${TMPDIR:-/tmp}}/jexbench.XXXXXX")
trap 'rm -rf "$work"' EXIT
export JEXFSCORE_LOG="$work/log"
image="$work/bench.img"
now() { date +%s.%N; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { print b - a }'; }

echo "== making a 2 GiB NTFS image with 300 folders of 170 files, half of them deleted"
truncate -s 2G "$image"
mkntfs -F -Q "$image" >/dev/null 2>&1
"$build/bin/jexntfs-edit" "$image" fill 300 170

echo "== reading the image with cat"
cat "$image" >/dev/null
start=$(now); cat "$image" >/dev/null; end=$(now)
cat_seconds=$(seconds "$start" "$end")
image_bytes=$(stat -c %s "$image")

echo "== ntfsundelete --scan"
start=$(now); ntfsundelete --scan --force "$image" > "$work/ntfsundelete.txt" 2>&1 || true; end=$(now)
nu_seconds=$(seconds "$start" "$end")
nu_files=$(grep -cE '^[0-9]+ ' "$work/ntfsundelete.txt" || true)

echo "== scan and restore"
mkdir "$work/out"
"$build/bin/jexbench_recovery" "$image" "$work/out" > "$work/figures"
cat "$work/figures"
get() { awk -v k="$1" '$1 == k { print $2 }' "$work/figures"; }
mft_bytes=$(ntfsinfo -i 0 "$image" 2>/dev/null | awk '/Initialized size/ { print $3; exit }')

awk -v cat_s="$cat_seconds" -v img="$image_bytes" -v scan_s="$(get scan_seconds)" -v nu_s="$nu_seconds" \
    -v nu_n="$nu_files" -v files="$(get found_files)" -v dirs="$(get found_directories)" \
    -v rest_s="$(get restore_seconds)" -v bytes="$(get restored_bytes)" -v mft="${mft_bytes:-0}" 'BEGIN {
  mb = 1048576
  records = mft / 1024
  cat_rate = img / mb / cat_s
  printf "cat:          %8.1f MB/s over the whole image (%.3f s)\n", cat_rate, cat_s
  printf "ntfsundelete: %8.3f s for its scan (%d lines of files)\n", nu_s, nu_n
  printf "scan:         %8.0f records/s (%d MFT records, %d deleted files, %d deleted folders in %.3f s); %.2f x the time of ntfsundelete, %.2f x the time of cat\n", records / scan_s, records, files, dirs, scan_s, scan_s / nu_s, scan_s / cat_s
  printf "restore:      %8.1f MB/s (%.1f MB in %.3f s); %.2f x the rate of cat\n", bytes / mb / rest_s, bytes / mb, rest_s, (bytes / mb / rest_s) / cat_rate
}'
