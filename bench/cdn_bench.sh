#!/usr/bin/env bash
# Many students downloading one file: from the LAN cache (nginx in front of
# velmora-cdn) against the same from the reference platform's download
# server, on loopback. Prints every run, the medians of the aggregate rate,
# and how many bytes the platform sent for each way.
#   bench/cdn_bench.sh [RUNS] [NATIVE_BUILD]
#   BENCH_SIZE_MIB=256 BENCH_CLIENTS=20
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

# The cache: velmora-cdn with the shipped nginx site on free ports.
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
sed -e "s|listen 8000;|listen 127.0.0.1:$NGINX_PORT;|" -e "s|127.0.0.1:8091|127.0.0.1:$LOOKUP_PORT|" \
  -e "s|/var/cache/velmora-cdn/|$WORK/cache/|" -e "s|access_log .*|access_log off;|" \
  "$ROOT/cdn/package/nginx-site.conf" >"$WORK/site.conf"
cat >"$WORK/nginx.conf" <<CONF
worker_processes 1;
pid $WORK/nginx.pid;
error_log $WORK/error.log;
events { worker_connections 256; }
http {
  client_body_temp_path $WORK/t1; proxy_temp_path $WORK/t2; fastcgi_temp_path $WORK/t3;
  uwsgi_temp_path $WORK/t4; scgi_temp_path $WORK/t5;
  include $WORK/site.conf;
}
CONF
nginx -p "$WORK" -c "$WORK/nginx.conf"
sleep 0.5
CACHE="http://127.0.0.1:$NGINX_PORT"
until curl -s "$CACHE/command/find.do?fid=$FID" | grep -q '"ret":0'; do sleep 0.5; done
CACHE_URL="$CACHE/files/$FID"

# crowd NAME URL: CLIENTS downloads at once; one line "NAME seconds".
crowd() {
  local name=$1 url=$2 start end pids=()
  start=$(date +%s.%N)
  for _ in $(seq "$CLIENTS"); do
    curl -s -o /dev/null -w '%{size_download}\n' "$url" >>"$WORK/sizes.txt" &
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
