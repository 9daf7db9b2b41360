#!/usr/bin/env bash
# Fuzzing with libFuzzer under the address and undefined-behaviour
# sanitizers: builds the targets of tests/fuzz with clang in build-fuzz/
# ($JEX_FUZZ_BUILD_DIR), makes the seed corpora (scripts/fuzz-seeds), and
# runs each target on a copy of its seeds, then prints executions, coverage
# and findings per target. Findings (crash-*, leak-*, timeout-*, oom-*) are
# kept in the work folder, which is named at the end.
#
# Usage: bench/fuzz.sh [--seconds N | --runs N] [--workers W] [--corpus DIR] [TARGET...]
#   --seconds N  a campaign of N seconds per target (default 600)
#   --runs N     N executions per target: the smoke run CI makes
#   --workers W  W processes per target on one corpus, the runs shared out
#                among them (one core each)
#   --corpus DIR inputs of an earlier campaign to start from as well, in
#                DIR/TARGET
# Exit status 1 when any target found something.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=600
runs_wanted=
workers=1
earlier=
targets=()
while [ $# -gt 0 ]; do
  case $1 in
    --seconds) seconds=$2; runs_wanted=; shift 2 ;;
    --runs) runs_wanted=$2; shift 2 ;;
    --workers) workers=$2; shift 2 ;;
    --corpus) earlier=$2; shift 2 ;;
    -*) echo "usage: $0 [--seconds N | --runs N] [--workers W] [--corpus DIR] [TARGET...]" >&2; exit 2 ;;
    *) targets+=("$1"); shift ;;
  esac
done
[ ${#targets[@]} -gt 0 ] || targets=(Fat32Fuzz Fat16Fuzz NtfsFuzz ExfatFuzz CarveFuzz PartitionTableFuzz RescueMapFuzz VrlFuzz ScriptFuzz)

"$root/scripts/setup"
"$root/scripts/build" >/dev/null
fuzzbuild=${JEX_FUZZ_BUILD_DIR:-$root/build-fuzz}
generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
if [ ! -f "$fuzzbuild/CMakeCache.txt" ]; then
  CXX=clang++ cmake -S "$root" -B "$fuzzbuild" "${generator[@]}" -DJEX_FUZZ=ON -DJEX_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$fuzzbuild" --parallel 2 --target "${targets[@]}" >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/jexfuzz-run.XXXXXX")
"$root/scripts/fuzz-seeds" "$work/seeds" "${JEX_BUILD_DIR:-$root/build}/bin"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/tests/fuzz/lsan.supp:print_suppressions=0}
export JEXFSCORE_LOG=/dev/null

found=0
found_slow=0
printf '%-20s %12s %10s %10s  %s\n' target executions coverage findings seconds
for target in "${targets[@]}"; do
  case $target in
    Fat32Fuzz) seeds=fat32; length=262144 ;;
    Fat16Fuzz) seeds=fat16; length=262144 ;;
    NtfsFuzz) seeds=ntfs; length=1052672 ;;
    ExfatFuzz) seeds=exfat; length=131072 ;;
    CarveFuzz) seeds=carve; length=262144 ;;
    PartitionTableFuzz) seeds=partitions; length=65536 ;;
    RescueMapFuzz) seeds=maps; length=16384 ;;
    VrlFuzz) seeds=vrl; length=262144 ;;
    ScriptFuzz) seeds=script; length=16384 ;;
    *) echo "unknown target $target" >&2; exit 2 ;;
  esac
  corpus="$work/corpus-$target"
  findings="$work/findings-$target"
  mkdir -p "$corpus" "$findings"
  cp "$work/seeds/$seeds"/* "$corpus/"
  if [ -n "$earlier" ] && [ -d "$earlier/$target" ]; then
    cp "$earlier/$target"/* "$corpus/" 2>/dev/null || true
  fi
  if [ -n "$runs_wanted" ]; then
    limit=(-runs=$(( (runs_wanted + workers - 1) / workers )))
  else
    limit=(-max_total_time="$seconds")
  fi
  start=$(date +%s)
  status=0
  dictionary=()
  [ -f "$root/tests/fuzz/$seeds.dict" ] && dictionary=(-dict="$root/tests/fuzz/$seeds.dict")
  # Each worker writes what it finds new into the one corpus, and takes in
  # what the others wrote there.
  pids=()
  for w in $(seq 1 "$workers"); do
    log="$work/$target.log"
    [ "$workers" -eq 1 ] || log="$work/$target.$w.log"
    "$fuzzbuild/bin/$target" "${limit[@]}" "${dictionary[@]}" -max_len=$length -rss_limit_mb=2048 -timeout=60 \
      -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" > "$log" 2>&1 &
    pids+=($!)
  done
  for pid in "${pids[@]}"; do
    wait "$pid" || status=$?
  done
  end=$(date +%s)
  logs=("$work/$target.log")
  [ "$workers" -eq 1 ] || logs=("$work/$target".*.log)
  runs=$(awk '/stat::number_of_executed_units/ { n += $2 } END { print n }' "${logs[@]}")
  cov=$(cat "${logs[@]}" | grep -oE 'cov: [0-9]+' | awk '$2 > m { m = $2 } END { print m }')
  # slow-unit-* files are only reported; the rest are findings.
  count=$(find "$findings" -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
  slow=$(find "$findings" -type f -name 'slow-unit-*' | wc -l)
  if [ "$status" -ne 0 ] && [ "$count" -eq 0 ]; then
    count=1 # it stopped without leaving an input: see its log
  fi
  [ "$count" -eq 0 ] || found=1
  printf '%-20s %12s %10s %10s  %s\n' "$target" "${runs:--}" "${cov:--}" "$count" "$((end - start))"
  if [ "$count" -ne 0 ]; then
    echo "  $target found something: $findings, ${logs[*]}"
    cat "${logs[@]}" | grep -E "ERROR|SUMMARY|jexfuzz:" | head -5 | sed 's/^/    /' || true
  fi
  if [ "$slow" -ne 0 ]; then
    echo "  $target: $slow input(s) ran slowly (over 10 s each): $findings"
    found_slow=1
  fi
done
if [ $found -eq 0 ] && [ $found_slow -eq 0 ]; then
  rm -rf "$work"
else
  echo "the work folder stays: $work"
fi
exit $found
