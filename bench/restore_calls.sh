#!/usr/bin/env bash
# System calls per restored file: `jexrecover restore --all` against
# `tsk_recover` on the same image, counted with `strace -c -f`. The calls
# that cost most per file are those that touch the destination: each is
# listed with how many times it was made per restored file.
#
# Usage: bench/restore_calls.sh IMAGE [DEEP]   (DEEP: pass --deep to jexrecover)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${JEX_BUILD_DIR:-$root/build}
image=$(realpath "$1")
deep=${2:+--deep}
command -v strace >/dev/null || { echo "strace is needed" >&2; exit 2; }
work=$(mktemp -d "${TMPDIR:-/tmp}/jexcalls.XXXXXX")
trap 'rm -rf "$work"' EXIT

files() { find "$1" -type f | wc -l; }
# strace -c's table as "name count" lines.
# Columns: % time, seconds, usecs/call, calls, [errors,] syscall.
calls() { awk '/^-+/ { table = !table; next } table && NF >= 5 { print $NF, $4 }' "$1"; }
per_file() {
  local label=$1 table=$2 count=$3
  echo "$label: $count files restored"
  calls "$table" | awk -v n="$count" '
    $1 ~ /^(openat|open|creat|write|pwrite64|pwritev|lseek|ftruncate|fsync|fdatasync|syncfs|sync_file_range|utimensat|futimesat|linkat|link|renameat2|rename|close|newfstatat|fstat|statx|lstat|stat|access|faccessat|faccessat2|mkdir|mkdirat|unlink|unlinkat)$/ && n > 0 {
      printf "  %-12s %8.2f per file\n", $1, $2 / n; total += $2 / n
    }
    END { printf "  %-12s %8.2f per file\n", "together", total }'
}

strace -c -f -o "$work/ours.calls" "$build/bin/jexrecover" restore "$image" $deep --to "$work/ours" --all --quiet >/dev/null 2>&1 || true
per_file "jexrecover" "$work/ours.calls" "$(files "$work/ours")"
if command -v tsk_recover >/dev/null; then
  strace -c -f -o "$work/tsk.calls" tsk_recover "$image" "$work/tsk" >/dev/null 2>&1 || true
  per_file "tsk_recover" "$work/tsk.calls" "$(files "$work/tsk")"
fi
