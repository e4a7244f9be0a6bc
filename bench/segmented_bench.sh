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
RUNS=${1:-3}
NATIVE=${2:-$ROOT/build/native}/bench/segmented_bench
WINEXE=${3:-$ROOT/build/win}/bench/segmented_bench.exe
WORK=$(mktemp -d /tmp/velmora-segbench.XXXXXX)
SIZE_MIB=${BENCH_SIZE_MIB:-1024}
trap 'kill "$(cat "$WORK/nginx.pid" 2>/dev/null)" 2>/dev/null || true; rm -rf "$WORK"' EXIT
chmod 755 "$WORK"
mkdir "$WORK/out"

head -c $((SIZE_MIB * 1024 * 1024)) /dev/urandom > "$WORK/big.bin"
chmod 644 "$WORK/big.bin"
PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat > "$WORK/nginx.conf" <<CONF
worker_processes 1;
pid $WORK/nginx.pid;
error_log $WORK/error.log;
events { worker_connections 64; }
http {
  access_log off;
  sendfile on;
  server { listen 127.0.0.1:$PORT; root $WORK; }
}
CONF
nginx -p "$WORK" -c "$WORK/nginx.conf"
sleep 0.5
URL="http://127.0.0.1:$PORT/big.bin"
OUT="$WORK/out/out.bin"
WINDIR="Z:$(echo "$WORK/out" | tr / '\\')"

# One run: wall seconds and peak RSS (KiB) of the command, output checked.
measure() {
  local name=$1; shift
  rm -f "$OUT" "$OUT".*; sync
  /usr/bin/time -f "%e %M" -o "$WORK/time.txt" "$@" > /dev/null 2>&1 || true
  local size; size=$(stat -c %s "$OUT" 2>/dev/null || echo 0)
  [ "$size" -eq $((SIZE_MIB * 1024 * 1024)) ] || { echo "$name: wrong size $size" >&2; return 0; }
  read -r secs rss < "$WORK/time.txt"
  echo "$name $secs $rss" | tee -a "$WORK/results.txt"
}

TOOLS=(curl aria2c native native-norecords)
[ -f "$WINEXE" ] && TOOLS+=(wine wine-norecords)
[ -n "${BENCH_TOOLS:-}" ] && read -r -a TOOLS <<< "$BENCH_TOOLS"
if [ -f "$WINEXE" ]; then
  source "$ROOT/scripts/wine-env.sh"
  wineserver -p 2>/dev/null || true
fi
run_tool() {
  case $1 in
    curl) measure curl curl -s -o "$OUT" "$URL" ;;
    aria2c) measure aria2c aria2c -q -x10 -s10 -k1M --allow-overwrite=true -d "$WORK/out" -o out.bin "$URL" ;;
    native) measure native "$NATIVE" "$URL" "$WORK/out" ;;
    native-norecords) measure native-norecords "$NATIVE" "$URL" "$WORK/out" norecords ;;
    wine) measure wine wine "$WINEXE" "$URL" "$WINDIR" ;;
    wine-norecords) measure wine-norecords wine "$WINEXE" "$URL" "$WINDIR" norecords ;;
  esac
}
run_tool curl > /dev/null   # warm-up: the file into the page cache
for ((i = 1; i <= RUNS; i++)); do
  for tool in "${TOOLS[@]}"; do run_tool "$tool"; done
done

python3 - "$WORK/results.txt" "$SIZE_MIB" <<'PY'
import statistics, sys
rows = [line.split() for line in open(sys.argv[1])]
size = float(sys.argv[2])
med = {}
for tool in dict.fromkeys(r[0] for r in rows):
    secs = [float(r[1]) for r in rows if r[0] == tool]
    rss = [int(r[2]) for r in rows if r[0] == tool]
    med[tool] = (size / statistics.median(secs), max(rss) / 1024)
ref = lambda name: med.get(name, (float("nan"), 0))[0]
print("\n| tool | MiB/s (median) | peak RSS MiB | ratio to aria2c | ratio to curl |")
print("|---|---|---|---|---|")
for tool, (rate, rss) in med.items():
    print(f"| {tool} | {rate:.0f} | {rss:.1f} | {rate / ref('aria2c'):.2f} | {rate / ref('curl'):.2f} |")
for side in ("native", "wine"):
    if side in med and side + "-norecords" in med:
        print(f"records cost ({side}): with / without = {med[side][0] / med[side + '-norecords'][0]:.3f}")
PY
