# Shared steps of the download benchmarks (sourced): a file of random bytes
# served by nginx on loopback, timed runs with their peak memory, medians.

# bench_serve_file: sets WORK, SIZE_MIB and URL; everything goes at exit.
bench_serve_file() {
  WORK=$(mktemp -d /tmp/velmora-bench.XXXXXX)
  SIZE_MIB=${BENCH_SIZE_MIB:-1024}
  trap 'kill "$(cat "$WORK/nginx.pid" 2>/dev/null)" 2>/dev/null || true; rm -rf "$WORK"' EXIT
  chmod 755 "$WORK"
  mkdir "$WORK/out"
  head -c $((SIZE_MIB * 1024 * 1024)) /dev/urandom > "$WORK/big.bin"
  chmod 644 "$WORK/big.bin"
  local port
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  cat > "$WORK/nginx.conf" <<CONF
worker_processes 1;
pid $WORK/nginx.pid;
error_log $WORK/error.log;
events { worker_connections 64; }
http {
  access_log off;
  sendfile on;
  server { listen 127.0.0.1:$port; root $WORK; }
}
CONF
  nginx -p "$WORK" -c "$WORK/nginx.conf"
  sleep 0.5
  URL="http://127.0.0.1:$port/big.bin"
}

# bench_measure NAME OUTPUT COMMAND...: one run, its wall seconds and peak RSS
# (KiB) appended to the results when the output has the whole size.
bench_measure() {
  local name=$1 out=$2; shift 2
  rm -f "$out" "$out".*; sync
  /usr/bin/time -f "%e %M" -o "$WORK/time.txt" "$@" > /dev/null 2>&1 || true
  local size; size=$(stat -c %s "$out" 2>/dev/null || echo 0)
  [ "$size" -eq $((SIZE_MIB * 1024 * 1024)) ] || { echo "$name: wrong size $size" >&2; return 0; }
  read -r secs rss < "$WORK/time.txt"
  echo "$name $secs $rss" | tee -a "$WORK/results.txt"
}

# bench_rounds: a warm-up that puts the file into the page cache, then RUNS
# rounds of every tool in TOOLS, each measured by the script's run_tool.
bench_rounds() {
  run_tool curl > /dev/null
  for ((i = 1; i <= RUNS; i++)); do
    for tool in "${TOOLS[@]}"; do run_tool "$tool"; done
  done
}

bench_start_wine() {
  source "$ROOT/scripts/wine-env.sh"
  wineserver -p 2>/dev/null || true
}

# bench_medians REFERENCE...: the table of medians with the ratio to each
# reference tool.
bench_medians() {
  python3 - "$WORK/results.txt" "$SIZE_MIB" "$@" <<'PY'
import statistics, sys
rows = [line.split() for line in open(sys.argv[1])]
size, refs = float(sys.argv[2]), sys.argv[3:]
med = {}
for tool in dict.fromkeys(r[0] for r in rows):
    secs = [float(r[1]) for r in rows if r[0] == tool]
    rss = [int(r[2]) for r in rows if r[0] == tool]
    med[tool] = (size / statistics.median(secs), max(rss) / 1024)
rate = lambda name: med.get(name, (float("nan"), 0))[0]
print("\n| tool | MiB/s (median) | peak RSS MiB | " + " | ".join(f"ratio to {r}" for r in refs) + " |")
print("|---|---|---|" + "---|" * len(refs))
for tool, (r, rss) in med.items():
    print(f"| {tool} | {r:.0f} | {rss:.1f} | " + " | ".join(f"{r / rate(x):.2f}" for x in refs) + " |")
for side in ("native", "wine"):
    if side in med and side + "-norecords" in med:
        print(f"records cost ({side}): with / without = {med[side][0] / med[side + '-norecords'][0]:.3f}")
PY
}
