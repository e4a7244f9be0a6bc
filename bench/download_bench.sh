#!/usr/bin/env bash
# Whole-file download of 1 GiB from nginx on loopback: CWebClient::Download
# (native and under Wine) against curl -o and wget, in the same run.
#   bench/download_bench.sh [runs] [native build dir] [windows build dir]
# Prints one line per run and the medians (MiB/s, peak RSS) with the ratio
# to curl. Needs nginx, curl, wget and /usr/bin/time; the build directories
# must hold bench/download_bench(.exe). BENCH_SIZE_MIB and BENCH_TOOLS
# ("curl wget native wine") narrow a run for a quick look.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$ROOT/bench/bench_lib.sh"
RUNS=${1:-5}
NATIVE=${2:-$ROOT/build/native}/bench/download_bench
WINEXE=${3:-$ROOT/build/win}/bench/download_bench.exe
bench_serve_file
OUT="$WORK/out/out.bin"

TOOLS=(curl wget native)
[ -f "$WINEXE" ] && TOOLS+=(wine) && bench_start_wine
[ -n "${BENCH_TOOLS:-}" ] && read -r -a TOOLS <<< "$BENCH_TOOLS"
run_tool() {
  case $1 in
    curl) bench_measure curl "$OUT" curl -s -o "$OUT" "$URL" ;;
    wget) bench_measure wget "$OUT" wget -q -O "$OUT" "$URL" ;;
    native) bench_measure native "$OUT" "$NATIVE" "$URL" "$OUT" ;;
    wine) bench_measure wine "$OUT" wine "$WINEXE" "$URL" "$OUT" ;;
  esac
}
bench_rounds
bench_medians curl
