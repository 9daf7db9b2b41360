#!/usr/bin/env bash
# FAT32 benchmark: a 1 GiB image with about 20,000 files of mixed sizes in
# nested folders, half of them deleted with mtools. Times the scan (files
# per second) and the restore of every found file (MB/s), and prints both
# against reading the whole image with cat in the same run. Checks that the
# restore writes no more bytes than the deleted files held, and times
# tsk_recover (The Sleuth Kit) on the same image when it is installed.
#
# Usage: bench/fat32_bench.sh [WORK-FOLDER]   (needs about 2.5 GiB free)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup"
"$root/scripts/build" >/dev/null
build=${JEX_BUILD_DIR:-$root/build}

work=$(mktemp -d "${1:-${TMPDIR:-/tmp}}/jexbench.XXXXXX")
trap 'rm -rf "$work"' EXIT
export JEXFSCORE_LOG="$work/log" MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8
image="$work/bench.img"

echo "== making the files"
python3 - "$work/src" <<'PY'
import os, random, sys
random.seed(7)
top = sys.argv[1]
for f in range(200):
    folder = os.path.join(top, "Ordner %03d" % (f // 20), "Teil %03d" % f)
    os.makedirs(folder, exist_ok=True)
    for i in range(100):
        if random.random() < 0.9:
            size = random.randint(512, 32 * 1024)
        else:
            size = random.randint(64 * 1024, 256 * 1024)
        with open(os.path.join(folder, "Datei %05d.bin" % (f * 100 + i)), "wb") as out:
            out.write(os.urandom(size))
PY
echo "== making the image (mkfs.fat, mcopy) and deleting half of the files (mdel)"
mkfs.fat -F 32 -C "$image" 1048576 >/dev/null
(cd "$work/src" && mcopy -s -i "$image" ./* ::/)
(cd "$work/src" && find . -name '*.bin' | sort | awk 'NR % 2 == 0' > "$work/deleted")
deleted_bytes=$(cd "$work/src" && xargs -d '\n' stat -c %s < "$work/deleted" | awk '{ s += $1 } END { print s }')
sed 's|^\./|::/|' "$work/deleted" | xargs -d '\n' -n 100 mdel -i "$image"
rm -rf "$work/src"

echo "== reading the image with cat"
cat "$image" >/dev/null
start=$(date +%s.%N)
cat "$image" >/dev/null
end=$(date +%s.%N)
image_bytes=$(stat -c %s "$image")
cat_seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')

echo "== scan and restore"
mkdir "$work/out"
"$build/bin/jexbench_recovery" "$image" "$work/out" > "$work/figures"
cat "$work/figures"
get() { awk -v k="$1" '$1 == k { print $2 }' "$work/figures"; }

awk -v cat_s="$cat_seconds" -v img="$image_bytes" -v scan_s="$(get scan_seconds)" \
    -v files="$(get found_files)" -v rest_s="$(get restore_seconds)" -v bytes="$(get restored_bytes)" 'BEGIN {
  mb = 1048576
  cat_rate = img / mb / cat_s
  printf "cat:     %8.1f MB/s over the whole image (%.3f s)\n", cat_rate, cat_s
  printf "scan:    %8.0f files/s (%d deleted files in %.3f s); %.3f x the time cat takes\n", files / scan_s, files, scan_s, scan_s / cat_s
  printf "restore: %8.1f MB/s (%.1f MB in %.3f s); %.2f x the rate of cat\n", bytes / mb / rest_s, bytes / mb, rest_s, (bytes / mb / rest_s) / cat_rate
}'

restored=$(get restored_bytes)
if [ "$restored" -le "$deleted_bytes" ]; then
  echo "written: $restored bytes restored, the deleted files held $deleted_bytes: no more than they held"
else
  echo "written: $restored bytes restored, but the deleted files held only $deleted_bytes: TOO MUCH"
fi

if command -v tsk_recover >/dev/null 2>&1; then
  echo "== tsk_recover on the same image"
  mkdir "$work/tsk"
  start=$(date +%s.%N)
  tsk_recover "$image" "$work/tsk" >/dev/null
  end=$(date +%s.%N)
  tsk_bytes=$(find "$work/tsk" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
  awk -v a="$start" -v b="$end" -v ours="$(get restore_seconds)" -v bytes="$tsk_bytes" 'BEGIN {
    printf "tsk_recover: %.3f s for %.1f MB; our restore takes %.2f x its time\n", b - a, bytes / 1048576, ours / (b - a)
  }'
else
  echo "tsk_recover: not installed (Debian: sleuthkit), no comparison"
fi
