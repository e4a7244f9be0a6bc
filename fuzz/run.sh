#!/usr/bin/env bash
# Builds the fuzz targets (build/fuzz, clang) and runs each for a while.
#   fuzz/run.sh [seconds per target] [JUnit report] [target names...]
# New inputs go to build/fuzz/corpus/<name>, beside the seeds in
# fuzz/corpus/<name>; a finding is kept in build/fuzz/findings/ and fails the
# run. A single allocation above 256 MiB or 1 GiB in all counts as a finding.
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
SECONDS_EACH=${1:-20}
REPORT=${2:-}
shift $(( $# > 2 ? 2 : $# ))
OUT=$ROOT/build/fuzz
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
[ -f "$OUT/build.ninja" ] || cmake -S "$ROOT/fuzz" -B "$OUT" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
cmake --build "$OUT" || exit 1

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for exe in "$OUT"/fuzz_*; do [ -x "$exe" ] && targets+=("$(basename "$exe" | sed 's/^fuzz_//')"); done
fi
mkdir -p "$OUT/findings" "$OUT/work"
export VELMORA_FUZZ_DIR=$OUT/work
cases="" failures=0
for name in "${targets[@]}"; do
  mkdir -p "$OUT/corpus/$name"
  log=$OUT/$name.log
  "$OUT/fuzz_$name" -max_total_time="$SECONDS_EACH" -rss_limit_mb=1024 -malloc_limit_mb=256 \
    -timeout=10 -artifact_prefix="$OUT/findings/$name-" -print_final_stats=1 \
    "$OUT/corpus/$name" "$ROOT/fuzz/corpus/$name" >"$log" 2>&1
  status=$?
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$')
  echo "fuzz $name: ${runs:-0} executions, exit $status"
  if [ $status -ne 0 ]; then
    failures=$((failures + 1))
    grep -m3 -E 'ERROR|SUMMARY|Test unit written' "$log"
    cases+="<testcase classname=\"fuzz\" name=\"$name\"><failure>exit $status, see build/fuzz/$name.log</failure></testcase>"
  else
    cases+="<testcase classname=\"fuzz\" name=\"$name\"/>"
  fi
done
rm -rf "$OUT/work"
[ -n "$REPORT" ] && echo "<testsuite name=\"fuzz\">$cases</testsuite>" > "$REPORT"
[ $failures -eq 0 ]
