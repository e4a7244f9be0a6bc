# Shared steps of the project's commands (sourced by velmora.sh).

PACKAGES=(cmake ninja-build g++ googletest libgtest-dev libgmock-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools wine wine64 xvfb xdotool imagemagick
  fonts-wqy-microhei locales python3 python3-pytest curl wget aria2 nginx-light time
  wixl msitools osslsigncode openssl python3-olefile clang libclang-rt-14-dev
  libssl-dev libgnutls30 xdg-utils desktop-file-utils file chromium firefox-esr lintian strace)


install_deps() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "== installing: ${missing[*]}"
    # An index that cannot be fetched (the i386 one of 32-bit Wine, here)
    # must not stop the install from the indexes that can.
    apt-get update -qq || echo "-- apt-get update reported errors; installing from the indexes it has"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
  if ! locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$'; then
    sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' >> /etc/locale.gen
    locale-gen >/dev/null
  fi
}

build_tree() {  # build_tree DIR [cmake args...] [-- targets...]
  local dir=$1 args=() targets=()
  shift
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do args+=("$1"); shift; done
  [ $# -gt 0 ] && shift && targets=("$@")
  # A compiler cache, where the machine has one, lets several clones share
  # their objects (paths are hashed relative to the clone).
  if command -v ccache >/dev/null; then
    args+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$ROOT")} CCACHE_NOHASHDIR=1
  fi
  [ -f "$dir/build.ninja" ] ||
    cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${args[@]}" >/dev/null
  if [ ${#targets[@]} -gt 0 ]; then
    cmake --build "$dir" --target "${targets[@]}"
  else
    cmake --build "$dir" -- -k 0
  fi
}

# Every tree is built even when one fails; the result is false if any did.
build_all() {
  local ok=0
  echo "== building build/native"
  build_tree "$ROOT/build/native" || ok=1
  echo "== building build/win"
  build_tree "$ROOT/build/win" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" || ok=1
  # The 32-bit program for the labs that still run 32-bit Windows: the same
  # sources and the same tests.
  echo "== building build/win32"
  build_tree "$ROOT/build/win32" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-i686.cmake" || ok=1
  return $ok
}

# The native suites with AddressSanitizer and UndefinedBehaviorSanitizer, for
# the test command.
build_sanitized() {
  echo "== building build/asan"
  build_tree "$ROOT/build/asan" -DVELMORA_SANITIZE=ON
}

# The project's own Wine prefix: no links into $HOME, Chinese fonts mapped.
make_prefix() {
  source "$ROOT/scripts/wine-env.sh"
  # A prefix made before 32-bit Wine came has no 32-bit system, and Wine
  # does not add one later: it is a build product, so it is made again.
  if [ -f "$WINEPREFIX/.velmora-ready" ] && wine32_installed &&
     [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
    echo "== the Wine prefix predates 32-bit Wine: making it again"
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
  fi
  if [ ! -f "$WINEPREFIX/.velmora-ready" ]; then
    echo "== creating Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
    local user_dir
    for user_dir in "$WINEPREFIX"/drive_c/users/*/; do
      for link in "$user_dir"*; do
        if [ -L "$link" ]; then rm "$link"; mkdir -p "$link"; fi
      done
    done
    wine regedit /S "$(winepath -w "$ROOT/scripts/fonts.reg")" >/dev/null 2>&1
    # Wine draws the caption buttons with Marlett: without it in the prefix
    # they show as letters.
    cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" &&
      wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts' \
        /v 'Marlett (TrueType)' /t REG_SZ /d marlett.ttf /f >/dev/null 2>&1 || true
    wineserver -w
    touch "$WINEPREFIX/.velmora-ready"
  fi
}

# A private X display for the Windows programs; sets DISPLAY and XVFB_PID.
start_display() {
  local fifo
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  XVFB_PID=$!
  local n
  read -r n <"$fifo"
  rm -f "$fifo"
  export DISPLAY=":$n"
}

stop_display() {
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
}

# The machine has one Linux package: the Linux desktop layer and the
# journey's Linux step, which run side by side in the test command, each
# install and remove it. Each holds this lock (on descriptor 9) while it has
# the package; after twenty minutes a holder is taken for gone.
LINUX_PACKAGE_LOCK=/tmp/velmora-linux-package.lock

take_linux_package() {
  exec 9>"$LINUX_PACKAGE_LOCK"
  flock -w 1200 9 || echo "-- the Linux package's lock was not had in 20 min; going on" >&2
}

give_back_linux_package() {
  flock -u 9 2>/dev/null
  exec 9>&-
}
source "$ROOT/scripts/wine32.sh"
