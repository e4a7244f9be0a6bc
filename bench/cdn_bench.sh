#!/usr/bin/env bash
# Many students downloading one file: from the LAN cache (nginx in front of
# velmora-cdn) against the same from the reference platform's download
# server, on loopback. Prints every run, the medians of the aggregate rate,
# and how many bytes the platform sent for each way.
# Then one student's look-up and download of the file, alone and while another
# machine floods the cache (1,500 unfinished request heads, renewed; look-ups
# of distinct files from 32 threads), each flood bounded to BENCH_FLOOD_SECONDS.
#   bench/cdn_bench.sh [RUNS] [NATIVE_BUILD]
#   BENCH_SIZE_MIB=256 BENCH_CLIENTS=20 BENCH_FLOOD_SECONDS=15
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
RUNS=${1:-3}
BUILD=${2:-$ROOT/build/native}
SIZE_MIB=${BENCH_SIZE_MIB:-256}
CLIENTS=${BENCH_CLIENTS:-20}
FID=benchfile
WORK=$(mktemp -d /tmp/velmora-cdn-bench.XXXXXX)
chmod 755 "$WORK"
cleanup() {
  kill "$(cat "$WORK/nginx.pid" 2>/dev/null)" 2>/dev/null || true
  [ -n "${CDN_PID:-}" ] && kill "$CDN_PID" 2>/dev/null || true
  [ -f "$WORK/platform/ready" ] && python3 "$ROOT/testbed/refclient.py" stop "$WORK/platform" >/dev/null 2>&1 || true
  rm -rf "$WORK"
}
trap cleanup EXIT
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

# The platform, holding the file.
python3 "$ROOT/testbed/refclient.py" start "$WORK/platform" >/dev/null
ready() { sed -n "s/^$1=//p" "$WORK/platform/ready"; }
DOWNLOAD_PORT=$(ready download_port) CONTROL_PORT=$(ready control_port)
curl -s -X POST --data-binary '' \
  "http://127.0.0.1:$CONTROL_PORT/files/download/$FID?generate=$((SIZE_MIB * 1048576))" >/dev/null
PLATFORM_URL="http://127.0.0.1:$DOWNLOAD_PORT/file/downLoad?ft=1&u=2&fid=$FID"

# The cache: velmora-cdn and its nginx as the package configures them, on
# free ports, with run and log directories in $WORK.
LOOKUP_PORT=$(free_port) NGINX_PORT=$(free_port)
cat >"$WORK/velmora-cdn.conf" <<CONF
platform_host = 127.0.0.1
platform_port = $DOWNLOAD_PORT
public_address = 127.0.0.1
public_port = $NGINX_PORT
announce_interval = 0
cache_dir = $WORK/cache
cache_cap = $((SIZE_MIB * 2))M
listen_port = $LOOKUP_PORT
CONF
"$BUILD/cdn/velmora-cdn" -c "$WORK/velmora-cdn.conf" 2>"$WORK/velmora-cdn.log" &
CDN_PID=$!
PACKAGE=$ROOT/cdn/package
mkdir -p "$WORK/run" "$WORK/log"
"$PACKAGE/render-nginx-site" "$WORK/velmora-cdn.conf" "$PACKAGE/nginx-site.conf" "$WORK/run/site.conf"
sed -e "s|/run/velmora-cdn-nginx/|$WORK/run/|g" -e "s|/var/log/velmora-cdn/|$WORK/log/|g" \
  -e "s|access_log .*|access_log off;|" "$PACKAGE/nginx.conf" >"$WORK/nginx.conf"
nginx -c "$WORK/nginx.conf" -e "$WORK/log/nginx-error.log" 2>/dev/null
ln -s "$WORK/run/nginx.pid" "$WORK/nginx.pid"
sleep 0.5
CACHE="http://127.0.0.1:$NGINX_PORT"
until curl -s "$CACHE/command/find.do?fid=$FID" | grep -q '"ret":0'; do sleep 0.5; done
CACHE_URL="$CACHE/files/$FID"

# crowd NAME URL: CLIENTS downloads at once; one line "NAME seconds".
crowd() {
  local name=$1 url=$2 start end pids=()
  start=$(date +%s.%N)
  # Each from an address of its own, as students are: nginx limits connections per address.
  for client in $(seq "$CLIENTS"); do
    curl -s --interface "127.0.$((client / 250 + 1)).$((client % 250 + 1))" -o /dev/null \
      -w '%{size_download}\n' "$url" >>"$WORK/sizes.txt" &
    pids+=($!)
  done
  wait "${pids[@]}"
  end=$(date +%s.%N)
  echo "$name $(python3 -c "print(round($end - $start, 3))")" | tee -a "$WORK/results.txt"
}
platform_requests() {
  curl -s "http://127.0.0.1:$CONTROL_PORT/ready" >/dev/null
  awk -F'\t' -v fid="fid=$FID" '$2 == "download" && index($4, fid) {n++} END {print n + 0}' \
    "$(ready record_dir)/index.tsv"
}

before=$(platform_requests)  # the cache's own fetch
for run in $(seq "$RUNS"); do
  crowd cache "$CACHE_URL"
done
after_cache=$(platform_requests)
for run in $(seq "$RUNS"); do
  crowd platform "$PLATFORM_URL"
done
after_platform=$(platform_requests)
bad=$(grep -vc "^$((SIZE_MIB * 1048576))$" "$WORK/sizes.txt" || true)

python3 - "$WORK/results.txt" "$SIZE_MIB" "$CLIENTS" "$RUNS" "$before" "$after_cache" \
  "$after_platform" "$bad" <<'PY'
import statistics, sys
rows = [l.split() for l in open(sys.argv[1])]
size, clients, runs = float(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
before, after_cache, after_platform, bad = map(int, sys.argv[5:9])
print("\n%d clients x %d MiB, %d runs each, medians; incomplete downloads: %d" % (clients, size, runs, bad))
print("| source | aggregate MiB/s | per client MiB/s | platform downloads, all runs | platform MiB sent |")
print("|---|---|---|---|---|")
# The cache's platform downloads include its one fetch before the first crowd.
for name, requests in (("cache", after_cache), ("platform", after_platform - after_cache)):
    secs = statistics.median(float(r[1]) for r in rows if r[0] == name)
    print("| %s | %.0f | %.0f | %d | %.0f |" % (name, clients * size / secs, size / secs, requests,
                                             requests * size))
PY

# The flooding machine is 127.0.0.2, the student 127.0.0.3: nginx tells them
# apart by address as it tells LAN machines apart.
FLOOD_SECONDS=${BENCH_FLOOD_SECONDS:-15}
flood() {  # flood heads|lookups: runs in the background until FLOOD_SECONDS pass
  python3 - "$1" "$NGINX_PORT" "$FLOOD_SECONDS" <<'PY' &
import itertools, resource, socket, sys, threading, time
kind, port, seconds = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
end = time.monotonic() + seconds
if kind == "heads":
    resource.setrlimit(resource.RLIMIT_NOFILE, (resource.getrlimit(resource.RLIMIT_NOFILE)[1],) * 2)
    # nginx closes a head that does not finish within 5 s: a fresh batch every 4 s.
    while time.monotonic() < end:
        held = []
        for _ in range(1500):
            try:
                s = socket.create_connection(("127.0.0.1", port), timeout=2,
                                             source_address=("127.0.0.2", 0))
                s.sendall(b"GET /command/check.do HTTP/1.1\r\nHost: x\r\n")
                held.append(s)
            except OSError:
                pass
        time.sleep(max(0, min(4, end - time.monotonic())))
        for s in held:
            s.close()
else:
    ids = itertools.count()
    def ask():
        for n in ids:
            if time.monotonic() > end:
                return
            try:
                c = socket.create_connection(("127.0.0.1", port), timeout=15,
                                             source_address=("127.0.0.2", 0))
                c.sendall(b"GET /command/find.do?fid=flood%d HTTP/1.0\r\n\r\n" % n)
                while c.recv(4096):
                    pass
                c.close()
            except OSError:
                pass
    workers = [threading.Thread(target=ask) for _ in range(32)]
    for w in workers:
        w.start()
    for w in workers:
        w.join()
PY
  FLOOD_PID=$!
}
student() {  # student NAME: one look-up and one download from 127.0.0.3, timed
  local lookup download
  lookup=$(curl -s --interface 127.0.0.3 -o /dev/null -w '%{time_total}' "$CACHE/command/find.do?fid=$FID")
  download=$(curl -s --interface 127.0.0.3 -o /dev/null -w '%{time_total} %{size_download}' "$CACHE_URL")
  echo "$1 $lookup $download" | tee -a "$WORK/student.txt"
}
for run in $(seq "$RUNS"); do student alone; done
for kind in heads lookups; do
  flood "$kind"
  sleep 3
  for run in $(seq "$RUNS"); do student "$kind"; done
  wait "$FLOOD_PID"
done
python3 - "$WORK/student.txt" "$SIZE_MIB" <<'PY'
import statistics, sys
rows = [l.split() for l in open(sys.argv[1])]
size = int(sys.argv[2]) * 1048576
names = {"alone": "no flood", "heads": "1,500 unfinished heads from one machine",
         "lookups": "look-ups of distinct files from one machine"}
print("\nOne student during a flood, medians (incomplete downloads: %d)"
      % sum(int(r[3]) != size for r in rows))
print("| another machine | look-up ms | download s | MiB/s |")
print("|---|---|---|---|")
for key, name in names.items():
    mine = [r for r in rows if r[0] == key]
    lookup = statistics.median(float(r[1]) for r in mine) * 1000
    download = statistics.median(float(r[2]) for r in mine)
    print("| %s | %.0f | %.2f | %.0f |" % (name, lookup, download, size / 1048576 / download))
PY
