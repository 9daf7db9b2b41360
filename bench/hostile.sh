#!/usr/bin/env bash
# Inputs whose few bytes once cost gigabytes, measured: the peak memory and
# time of reading each, beside its size.
#   - a FAT32 image of 250 nested folders with 255-character names and
#     65,000 deleted entries in them, scanned by `jexrecover scan --json`;
#   - a .vrl file of a million elements, read through libJexVars.so, and
#     one of two million, which the default element limit refuses.
# Usage: bench/hostile.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup"
"$root/scripts/build" >/dev/null
bin=${JEX_BUILD_DIR:-$root/build}/bin
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

measure() { # LABEL INPUT COMMAND...
  local label=$1 input=$2
  shift 2
  local status=0
  /usr/bin/time -f '%e %M' -o "$work/time" "$@" > "$work/out" 2> "$work/err" || status=$?
  read -r seconds kib < <(tail -1 "$work/time")
  local bytes
  bytes=$(stat -c %s "$input")
  printf '%-34s %10s %9s %9s %9s %s\n' "$label" "$bytes" "$seconds" "$(awk -v k="$kib" -v b="$bytes" 'BEGIN { printf "%.1f", k * 1024 / b }')" "$((kib / 1024))" \
    "$( [ $status -eq 0 ] && echo read || echo "refused ($(head -c 60 "$work/err"))")"
}

"$bin/jexbench_deep-fat32" "$work/deep.img" 250 260
python3 - "$work" <<'PY'
import struct, sys
for name, n in (("million.vrl", 1000000), ("two-million.vrl", 2000000)):
    with open(f"{sys.argv[1]}/{name}", "wb") as f:
        f.write("JexVarLang 1.0".encode("utf-16-le"))
        f.write(b"A\0R\0" + struct.pack("<ii", 0, n))
        f.write((b"S\0L\0" + struct.pack("<ii", 0, 7)) * n)
PY

printf '%-34s %10s %9s %9s %9s %s\n' input bytes seconds "peak/size" "peak MiB" outcome
measure "FAT32 deep tree, scan --json" "$work/deep.img" "$bin/jexrecover" scan --json "$work/deep.img"
echo "  $(grep -o '"found":[0-9]*' "$work/out"), JSON of $(stat -c %s "$work/out") bytes"
measure ".vrl, 1,000,000 elements" "$work/million.vrl" "$bin/jexbench_vrl" "$bin" "$work/million.vrl"
measure ".vrl, 2,000,000 elements" "$work/two-million.vrl" "$bin/jexbench_vrl" "$bin" "$work/two-million.vrl"
measure ".vrl, 2,000,000, limit raised" "$work/two-million.vrl" "$bin/jexbench_vrl" "$bin" "$work/two-million.vrl" 2000001
