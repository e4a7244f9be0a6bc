#!/usr/bin/env bash
# Segmented download of 1 GiB in 10 ranges from nginx on loopback:
# CSegmentedDownloader (native and under Wine, with and without resume
# records) against aria2c -x10 -s10 and curl, in the same run.
#   bench/segmented_bench.sh [runs] [native build dir] [windows build dir]
# Prints one line per run and the medians (MiB/s, peak RSS) with the ratios
# to aria2c and to curl, and the cost of the records (with / without).
# BENCH_SIZE_MIB and BENCH_TOOLS ("curl aria2c native native-norecords wine
# wine-norecords") narrow a run.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$ROOT/bench/bench_lib.sh"
RUNS=${1:-3}
NATIVE=${2:-$ROOT/build/native}/bench/segmented_bench
WINEXE=${3:-$ROOT/build/win}/bench/segmented_bench.exe
bench_serve_file
OUT="$WORK/out/out.bin"
WINDIR="Z:$(echo "$WORK/out" | tr / '\\')"

TOOLS=(curl aria2c native native-norecords)
[ -f "$WINEXE" ] && TOOLS+=(wine wine-norecords) && bench_start_wine
[ -n "${BENCH_TOOLS:-}" ] && read -r -a TOOLS <<< "$BENCH_TOOLS"
run_tool() {
  local m=(bench_measure "$1" "$OUT")
  case $1 in
    curl) "${m[@]}" curl -s -o "$OUT" "$URL" ;;
    aria2c) "${m[@]}" aria2c -q -x10 -s10 -k1M --allow-overwrite=true -d "$WORK/out" -o out.bin "$URL" ;;
    native) "${m[@]}" "$NATIVE" "$URL" "$WORK/out" ;;
    native-norecords) "${m[@]}" "$NATIVE" "$URL" "$WORK/out" norecords ;;
    wine) "${m[@]}" wine "$WINEXE" "$URL" "$WINDIR" ;;
    wine-norecords) "${m[@]}" wine "$WINEXE" "$URL" "$WINDIR" norecords ;;
  esac
}
bench_rounds
bench_medians aria2c curl
