# Every test layer, natively and under Wine; exits non-zero on any failure
# and closes with the totals.

# The reports of the layers that ran, one path a line: layers run in lanes
# side by side, each in a process of its own.
REPORTS=$ROOT/build/results/reports.txt

add_report() {
  echo "$1" >>"$REPORTS"
}

run_ctest() {  # run_ctest NAME BUILD_DIR [ctest args...]
  local name=$1 dir=$2; shift 2
  echo "== $name"
  mkdir -p "$ROOT/build/results"
  ctest --test-dir "$dir" --output-on-failure --no-tests=error \
    --output-junit "$ROOT/build/results/$name.xml" "$@" || true
  add_report "$ROOT/build/results/$name.xml"
}

# In a network and mount namespace of its own: the fixed ports of the
# platform are free and the built-in hosts name loopback. The prefix's
# wineserver must live inside it, since it owns the sockets.
run_e2e() {  # run_e2e NAME MARKERS: the end-to-end tests that MARKERS select
  echo "== end to end (Wine): $1"
  mkdir -p "$ROOT/build/results"
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  e2e_pytest "$ROOT/build/results/$1.xml" "$2" tests/e2e
  try_failed_again "$ROOT/build/results/$1.xml" e2e_pytest "$2"
  add_report "$ROOT/build/results/$1.xml"
}

e2e_pytest() {  # e2e_pytest REPORT MARKERS TESTS...
  (cd "$ROOT" && scripts/isolated.sh bash -c '
    wineserver -p 2>/dev/null || true
    wine build/win/testbed/uidriver.exe list </dev/null >/dev/null 2>&1 || true
    /usr/bin/python3 -m pytest -q -p no:cacheprovider -m "$1" --junitxml="$0" "${@:2}"
    status=$?
    wineserver -k 2>/dev/null
    exit $status' "$@") || true
}

# A failed case of a pytest layer is tried once more on its own, as the Wine
# unit layer's are: under Wine on a loaded machine the timing differs from
# run to run, and a fault that repeats still fails. The second verdict
# stands in the layer's report; the log names each case tried again.
try_failed_again() {  # try_failed_again REPORT RUNNER [ARGS...]: RUNNER AGAIN ARGS... CASES...
  local report=$1 runner=$2 again=${1%.xml}-again.xml cases
  shift 2
  mapfile -t cases < <(cd "$ROOT" && python3 scripts/retry_failed.py cases "$report" 2>/dev/null)
  [ "${#cases[@]}" -gt 0 ] || return 0
  echo "-- tried again: ${cases[*]}"
  "$runner" "$again" "$@" "${cases[@]}"
  python3 "$ROOT/scripts/retry_failed.py" merge "$report" "$again" || true
}

isolated_pytest() {  # isolated_pytest REPORT TESTS...
  (cd "$ROOT" && scripts/isolated.sh /usr/bin/python3 -m pytest -q -p no:cacheprovider -rs \
    --junitxml="$1" "${@:2}" 9>&-) || true
}

# The school's LAN cache server with real nginx, in network namespaces of
# its own inside an isolated one; skipped with a line where either is missing.
run_cdn_lan() {
  echo "== LAN cache server (network namespaces)"
  if ! command -v nginx >/dev/null; then
    echo "-- skipped: nginx is not installed"
    return 0
  fi
  if ! unshare --net --mount true 2>/dev/null || ! command -v ip >/dev/null; then
    echo "-- skipped: no network namespace support here"
    return 0
  fi
  isolated_pytest "$ROOT/build/results/cdn-lan.xml" tests/lan
  try_failed_again "$ROOT/build/results/cdn-lan.xml" isolated_pytest
  add_report "$ROOT/build/results/cdn-lan.xml"
}

# The assistant's Debian package installed on this machine and used by an
# ordinary user of a Linux desktop; skipped with a line where it cannot run.
run_linux_desktop() {
  echo "== Linux desktop (package, links, browser)"
  mkdir -p "$ROOT/build/results"
  take_linux_package
  isolated_pytest "$ROOT/build/results/linux.xml" tests/linux
  try_failed_again "$ROOT/build/results/linux.xml" isolated_pytest
  give_back_linux_package
  add_report "$ROOT/build/results/linux.xml"
}

# Each fuzz target for a short while, so that CI keeps them building and
# finding nothing; fuzz/README.md has the command of a long run.
run_fuzz() {
  echo "== fuzzing (20 s per target)"
  mkdir -p "$ROOT/build/results"
  "$ROOT/fuzz/run.sh" 20 "$ROOT/build/results/fuzz.xml" || true
  add_report "$ROOT/build/results/fuzz.xml"
}

# Kills at random moments of the downloads and the stores' saves (bench/),
# natively and, with --wine, the Windows build's under Wine.
run_crash_trials() {  # run_crash_trials NAME BUILD_DIR COUNT [--wine]
  local name=$1 dir=$2 count=$3; shift 3
  echo "== $name"
  mkdir -p "$ROOT/build/results"
  python3 "$ROOT/bench/crash_trials.py" --count "$count" --build "$dir" \
    --junit "$ROOT/build/results/$name.xml" "$@" || true
  add_report "$ROOT/build/results/$name.xml"
}

print_totals() {
  local reports
  mapfile -t reports <"$REPORTS"
  python3 "$ROOT/scripts/totals.py" "${reports[@]}"
}

# The 32-bit program under 32-bit Wine: the whole Wine unit layer of the
# 32-bit build, its journey and its package. It comes last, since 32-bit Wine
# is installed for it: beside it Debian's `wine` and Wine's shell differ from
# a 64-bit-only machine, on which the layers before run. Skipped with a line
# where 32-bit Wine cannot be installed or the machine runs no 32-bit code.
run_32_bit() {
  echo "== 32-bit (the 32-bit build under 32-bit Wine)"
  local status=0
  install_running_wine32 || status=$?
  case $status in
    1) echo "-- skipped: 32-bit Wine (wine32) could not be installed here"; return 0 ;;
    2) echo "-- skipped: this machine runs no 32-bit code (its kernel's 32-bit mode is off)"
       return 0 ;;
  esac
  wineserver -k 2>/dev/null || true
  make_prefix
  wineserver -p 2>/dev/null || true
  wine "$ROOT/build/win/testbed/uidriver.exe" list </dev/null >/dev/null 2>&1 || true
  run_ctest wine32 "$ROOT/build/win32" --repeat until-pass:2
  run_e2e e2e-x86 x86
}

# A lane runs its layers one after another in a process of its own, beside
# the other lanes; its output goes to a file and is shown whole once it ends,
# so that each layer's lines stay together.
declare -A LANES=()

start_lane() {  # start_lane NAME FUNCTION
  "$2" >"$ROOT/build/results/lane-$1.log" 2>&1 &
  LANES[$1]=$!
}

finish_lane() {  # finish_lane NAME
  [ -n "${LANES[$1]:-}" ] || return 0
  wait "${LANES[$1]}" || true
  unset "LANES[$1]"
  cat "$ROOT/build/results/lane-$1.log"
}

timed() {  # timed COMMAND...: runs it and tells how long it took
  local start=$SECONDS
  "$@"
  echo "-- $1${2:+ $2}: $((SECONDS - start)) s"
}

# A tree that failed to build is noted here; the verdict reads it at the end.
build_failed() {
  echo "$1" >>"$ROOT/build/results/build-failures"
}

# The sanitizers' build and the native layers, in a network namespace of
# their own: their servers' fixed ports are theirs alone while the Wine
# layers run.
native_lane() {
  build_sanitized || build_failed asan
  scripts/isolated.sh bash -c 'ROOT=$VELMORA_ROOT; source scripts/lib.sh; source scripts/test.sh
    native_layers' || true
}

native_layers() {
  timed run_ctest native "$ROOT/build/native" -j2
  # A finding of either sanitizer (leaks included) ends its test program as
  # a failure.
  UBSAN_OPTIONS=print_stacktrace=1 timed run_ctest asan "$ROOT/build/asan" -j2 -L "unit|integration"
  timed run_fuzz
  timed run_crash_trials crash "$ROOT/build/native" 3
}

# The 32-bit build, which the end-to-end tests of both packages, the Linux
# desktop's 32-bit experiment and the last layer use.
win32_lane() {
  echo "== building build/win32"
  build_tree "$ROOT/build/win32" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-i686.cmake" ||
    build_failed win32
}

# The Linux package has prefixes of its own: it runs beside the Wine layers,
# and before 32-bit Wine is installed.
linux_lane() {
  timed run_linux_desktop
}

run_all_tests() {
  install_deps
  rm -rf "$ROOT/build/results"
  mkdir -p "$ROOT/build/results"
  : >"$REPORTS"
  echo "== building build/native"
  build_tree "$ROOT/build/native" || build_failed native
  echo "== building build/win"
  build_tree "$ROOT/build/win" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" ||
    build_failed win
  start_lane win32 win32_lane
  start_lane native native_lane
  make_prefix
  start_display
  # The clean-up must not change the verdict: with errexit a failing command
  # here (no wineserver left to kill) would end the run as a failure.
  trap 'status=$?; kill "${LANES[@]}" 2>/dev/null || true; wineserver -k 2>/dev/null || true; stop_display
    exit $status' EXIT
  source "$ROOT/scripts/wine-env.sh"
  wineserver -p 2>/dev/null || true  # already running is fine
  # The session's first processes (services, the desktop window) live on with
  # the standard handles they were started with: keep the runners' pipes from them.
  wine "$ROOT/build/win/testbed/uidriver.exe" list </dev/null >/dev/null 2>&1 || true
  # A failure under Wine is tried once more: its socket timing differs from
  # run to run, and a fault that repeats still fails.
  timed run_ctest wine "$ROOT/build/win" --repeat until-pass:2
  timed run_crash_trials crash-wine "$ROOT/build/win" 2 --wine
  finish_lane win32
  start_lane linux linux_lane
  timed run_e2e e2e "not x86"
  timed run_cdn_lan
  finish_lane linux
  finish_lane native
  timed run_32_bit
  print_totals && [ ! -s "$ROOT/build/results/build-failures" ]
}
