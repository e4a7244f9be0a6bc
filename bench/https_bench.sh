#!/usr/bin/env bash
# Whole-file download of 1 GiB over HTTPS from nginx on loopback:
# CWebClient::Download over TLS (OpenSSL natively, Schannel under Wine)
# against curl over HTTPS, and the same two over plain HTTP, in one run.
#   bench/https_bench.sh [runs] [native build dir] [windows build dir]
# The certificate comes from the reference platform's test authority
# (testbed/reftls.py), trusted for curl by --cacert, natively by
# VELMORA_TEST_CA and under Wine in the prefix's machine "Root" store (by
# testbed/trustca.exe, taken out again at the end). BENCH_SIZE_MIB and
# BENCH_TOOLS ("curl-https native-https wine-https curl native wine")
# narrow a run.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$ROOT/bench/bench_lib.sh"
RUNS=${1:-5}
NATIVE=${2:-$ROOT/build/native}/bench/download_bench
WINDIR=${3:-$ROOT/build/win}
WINEXE=$WINDIR/bench/download_bench.exe
TRUSTCA=$WINDIR/testbed/trustca.exe
bench_serve_file
OUT="$WORK/out/out.bin"

# The same file over TLS on a second port of the same nginx worker.
python3 -c "import sys; sys.path.insert(0, '$ROOT/testbed'); import reftls; reftls.ensure_certificates('$WORK/tls')"
TLS_PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
PLAIN_PORT=${URL#http://127.0.0.1:}; PLAIN_PORT=${PLAIN_PORT%%/*}
sed -i "s|server { listen 127.0.0.1:$PLAIN_PORT; root $WORK; }|&\n  server { listen 127.0.0.1:$TLS_PORT ssl; root $WORK; ssl_certificate $WORK/tls/good.pem; ssl_certificate_key $WORK/tls/good.key; }|" "$WORK/nginx.conf"
kill -HUP "$(cat "$WORK/nginx.pid")"
sleep 0.5
HTTPS_URL="https://localhost:$TLS_PORT/big.bin"
curl -s --cacert "$WORK/tls/ca.pem" -o /dev/null -r 0-0 "$HTTPS_URL"

TOOLS=(curl-https native-https curl native)
if [ -f "$WINEXE" ] && [ -f "$TRUSTCA" ]; then
  bench_start_wine
  wine "$TRUSTCA" add "$WORK/tls/ca.pem"
  trap 'wine "$TRUSTCA" remove "$WORK/tls/ca.pem" || true; kill "$(cat "$WORK/nginx.pid" 2>/dev/null)" 2>/dev/null || true; rm -rf "$WORK"' EXIT
  TOOLS+=(wine-https wine)
fi
[ -n "${BENCH_TOOLS:-}" ] && read -r -a TOOLS <<< "$BENCH_TOOLS"
run_tool() {
  case $1 in
    curl-https) bench_measure curl-https "$OUT" curl -s --cacert "$WORK/tls/ca.pem" -o "$OUT" "$HTTPS_URL" ;;
    native-https) bench_measure native-https "$OUT" env VELMORA_TEST_CA="$WORK/tls/ca.pem" "$NATIVE" "$HTTPS_URL" "$OUT" ;;
    wine-https) bench_measure wine-https "$OUT" wine "$WINEXE" "$HTTPS_URL" "$OUT" ;;
    curl) bench_measure curl "$OUT" curl -s -o "$OUT" "$URL" ;;
    native) bench_measure native "$OUT" "$NATIVE" "$URL" "$OUT" ;;
    wine) bench_measure wine "$OUT" wine "$WINEXE" "$URL" "$OUT" ;;
  esac
}
bench_rounds
bench_medians curl-https curl
