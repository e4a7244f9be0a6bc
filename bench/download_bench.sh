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
RUNS=${1:-5}
NATIVE=${2:-$ROOT/build/native}/bench/download_bench
WINEXE=${3:-$ROOT/build/win}/bench/download_bench.exe
WORK=$(mktemp -d /tmp/velmora-bench.XXXXXX)
SIZE_MIB=${BENCH_SIZE_MIB:-1024}
trap 'kill "$(cat "$WORK/nginx.pid" 2>/dev/null)" 2>/dev/null || true; rm -rf "$WORK"' EXIT
chmod 755 "$WORK"

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
OUT="$WORK/out.bin"

# One run: wall seconds and peak RSS (KiB) of the command, output checked.
measure() {
  local name=$1; shift
  rm -f "$OUT"; sync
  /usr/bin/time -f "%e %M" -o "$WORK/time.txt" "$@" > /dev/null 2>&1
  local size; size=$(stat -c %s "$OUT" 2>/dev/null || echo 0)
  [ "$size" -eq $((SIZE_MIB * 1024 * 1024)) ] || { echo "$name: wrong size $size" >&2; exit 1; }
  read -r secs rss < "$WORK/time.txt"
  echo "$name $secs $rss" | tee -a "$WORK/results.txt"
}

TOOLS=(curl wget native)
[ -f "$WINEXE" ] && TOOLS+=(wine)
[ -n "${BENCH_TOOLS:-}" ] && read -r -a TOOLS <<< "$BENCH_TOOLS"
if [ -f "$WINEXE" ]; then
  source "$ROOT/scripts/wine-env.sh"
  wineserver -p 2>/dev/null || true
fi
run_tool() {
  case $1 in
    curl) measure curl curl -s -o "$OUT" "$URL" ;;
    wget) measure wget wget -q -O "$OUT" "$URL" ;;
    native) measure native "$NATIVE" "$URL" "$OUT" ;;
    wine) measure wine wine "$WINEXE" "$URL" "$OUT" ;;
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
print("\n| tool | MiB/s (median) | peak RSS MiB | ratio to curl |")
print("|---|---|---|---|")
for tool, (rate, rss) in med.items():
    print(f"| {tool} | {rate:.0f} | {rss:.1f} | {rate / med['curl'][0]:.2f} |")
PY
