#!/usr/bin/env bash
# FAT fidelity against a peer: images made with mkfs.fat and mtools where
# deleted files fragmented around live files, a deleted folder of 104 files
# whose clusters scattered between file data, and a file whose first
# cluster's high word was cleared on deletion; the first two also on FAT16
# (the kinds ending in 16). For each, jexrecover and tsk_recover (The Sleuth
# Kit, when installed) restore every deleted file; the table counts the
# deleted originals that came back byte for byte at their own path, those
# that came back byte for byte anywhere, and the bytes each wrote.
#
# Usage: bench/fat32_fidelity.sh [WORK-FOLDER]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup"
"$root/scripts/build" >/dev/null
bin=${JEX_BUILD_DIR:-$root/build}/bin

work=$(mktemp -d "${1:-${TMPDIR:-/tmp}}/jexfidelity.XXXXXX")
trap 'rm -rf "$work"' EXIT
export JEXFSCORE_LOG="$work/log" MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8

# random FILE BYTES
random() { head -c "$2" /dev/urandom > "$1"; }
# The FSInfo next-free hint set to unknown: mtools fills holes from the
# start of the volume again.
forget_next_free() {
  python3 - "$1" <<'PY'
import struct, sys
with open(sys.argv[1], "r+b") as f:
    boot = f.read(512)
    fsinfo = struct.unpack("<H", boot[48:50])[0] * struct.unpack("<H", boot[11:13])[0]
    f.seek(fsinfo + 492)
    f.write(b"\xff\xff\xff\xff")
PY
}
# Clears the high word of the first cluster of the deleted root entry whose
# 8.3 name ends in TAIL.
clear_high_word() {
  python3 - "$1" "$2" <<'PY'
import struct, sys
path, tail = sys.argv[1], sys.argv[2].encode()
with open(path, "r+b") as f:
    b = f.read(512)
    bps = struct.unpack("<H", b[11:13])[0]
    data = (struct.unpack("<H", b[14:16])[0] + b[16] * struct.unpack("<I", b[36:40])[0]) * bps
    f.seek(data)
    root = f.read(bps * b[13])
    for at in range(0, len(root), 32):
        if root[at] == 0xE5 and root[at + 11] != 0x0F and root[at:at + 11].endswith(tail):
            f.seek(data + at + 20)
            f.write(b"\0\0")
PY
}

# fragmented: holes of two clusters between live files, filled by files
# that are then deleted.
make_fragmented() {
  local img=$1 o=$work/originals/$2 bits=${3:-32}
  mkdir -p "$o"
  mkfs.fat -F "$bits" -s 1 -S 512 -C "$img" "$([ "$bits" = 32 ] && echo 40000 || echo 16000)" >/dev/null
  for i in $(seq 1 40); do
    random "$work/x" 1024; mcopy -i "$img" "$work/x" "::/X$i"
    random "$work/l" 300; mcopy -i "$img" "$work/l" "::/L$i.TXT"
  done
  for i in $(seq 1 40); do mdel -i "$img" "::/X$i"; done
  for i in $(seq 1 40); do : > "$work/z"; mcopy -i "$img" "$work/z" "::/Z$i"; done
  # FAT16 has no hint: mtools looks from the start every time.
  [ "$bits" = 32 ] && forget_next_free "$img"
  for i in $(seq 1 8); do
    random "$o/Frag$i.bin" $((9 * 1024 + i * 7)); mcopy -i "$img" "$o/Frag$i.bin" "::/Frag$i.bin"
  done
  for i in $(seq 1 8); do mdel -i "$img" "::/Frag$i.bin"; done
}

# scattered: a folder of 104 files that grew between file data, deleted
# with mdeltree.
make_scattered() {
  local img=$1 o=$work/originals/$2/Album bits=${3:-32}
  mkdir -p "$o"
  mkfs.fat -F "$bits" -s 1 -S 512 -C "$img" "$([ "$bits" = 32 ] && echo 40000 || echo 16000)" >/dev/null
  mmd -i "$img" ::/Album
  local n=0
  for round in $(seq 0 12); do
    for j in $(seq 0 7); do
      random "$o/Bild $round-$j.jpg" $((700 + n * 13)); n=$((n + 1))
      mcopy -i "$img" "$o/Bild $round-$j.jpg" "::/Album/Bild $round-$j.jpg"
    done
    random "$work/d" 2048; mcopy -i "$img" "$work/d" "::/DATA$round.BIN"
  done
  mdeltree -i "$img" ::/Album
}

# highword: a live file over the first 65,536 clusters, then a deleted file
# beyond them whose start lost its high word.
make_highword() {
  local img=$1 o=$work/originals/$2
  mkdir -p "$o"
  mkfs.fat -F 32 -s 1 -S 512 -C "$img" 40000 >/dev/null
  random "$work/big" $((34 * 1024 * 1024)); mcopy -i "$img" "$work/big" ::/BIG.BIN
  random "$o/HIGH.BIN" 10000; mcopy -i "$img" "$o/HIGH.BIN" ::/HIGH.BIN
  mdel -i "$img" ::/HIGH.BIN
  clear_high_word "$img" "IGH    BIN"
}

# count FOLDER ORIGINALS: the originals (a tree of the volume's paths)
# that FOLDER holds byte for byte at their own path, those it holds byte for
# byte anywhere, each counted once, and the bytes FOLDER holds.
count() {
  local exact at_path=0 rel
  exact=$( (cd "$2" && find . -type f -exec sha256sum {} + | cut -c1-64 | sort -u) > "$work/want"
           find "$1" -type f -exec sha256sum {} + 2>/dev/null | cut -c1-64 | sort -u | comm -12 - "$work/want" | wc -l)
  while IFS= read -r -d '' rel; do
    cmp -s "$2/$rel" "$1/$rel" && at_path=$((at_path + 1))
  done < <(cd "$2" && find . -type f -print0)
  local bytes
  bytes=$(find "$1" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
  echo "$at_path $exact $bytes"
}

printf '%-13s %8s  %-28s %-28s\n' "image" "deleted" "jexrecover path/exact/bytes" "tsk_recover path/exact/bytes"
for kind in fragmented scattered highword fragmented16 scattered16; do
  img="$work/$kind.img"
  case $kind in
    *16) "make_${kind%16}" "$img" "$kind" 16 ;;
    *) "make_$kind" "$img" "$kind" ;;
  esac
  originals=$(find "$work/originals/$kind" -type f | wc -l)
  "$bin/jexrecover" restore "$img" --to "$work/ours-$kind" --all --quiet >/dev/null || true
  read -r ours ours_exact ours_bytes < <(count "$work/ours-$kind" "$work/originals/$kind")
  peer="not installed"
  if command -v tsk_recover >/dev/null 2>&1; then
    mkdir -p "$work/tsk-$kind"
    tsk_recover "$img" "$work/tsk-$kind" >/dev/null 2>&1 || true
    read -r theirs theirs_exact theirs_bytes < <(count "$work/tsk-$kind" "$work/originals/$kind")
    peer="$theirs / $theirs_exact / $theirs_bytes"
  fi
  printf '%-13s %8s  %-28s %-28s\n' "$kind" "$originals" "$ours / $ours_exact / $ours_bytes" "$peer"
done
