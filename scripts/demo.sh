# The main job on the embedded default: the reference platform on loopback
# and the real program under Wine, following velmoraurl:// links as a
# browser would, with a screenshot of every window in build/demo/.

DEMO_OUT="$ROOT/build/demo"
DEMO_DIR="velmora-demo"  # below C:\ of the prefix

demo_driver() { wine "$ROOT/build/win/testbed/uidriver.exe" "$@" </dev/null 2>/dev/null; }

shot() {  # shot NAME: the whole screen into build/demo/NAME.png
  sleep 1
  import -window root "$DEMO_OUT/$1.png" && echo "   screenshot build/demo/$1.png"
}

follow_link() {  # follow_link URL: the program started as the browser starts it
  echo "== link: $1"
  demo_driver launch "\"$(winepath -w "$ROOT/build/win/VelmoraURL.exe")\" \"$1\"" >/dev/null
}

answer_question() {  # answer_question SHOT BUTTON
  local box
  box=$(demo_driver wait '#32770' '提示' 20000) || { echo "   (no question shown)"; return 1; }
  echo "   question: $(demo_driver text "$box" | head -1)"
  shot "$1"
  demo_driver click "$box" "$2" >/dev/null
}

wait_caption() {  # wait_caption TEXT SECONDS: a visible window whose caption holds TEXT, loaded
  local i
  for i in $(seq "$(($2 * 2))"); do
    if demo_driver list | awk -F'\t' -v t="$1" 'index($3, t) { found = 1 } END { exit !found }'; then
      sleep 2  # the editor fills its window after the caption
      return 0
    fi
    sleep 0.5
  done
  return 1
}

close_windows_titled() {  # close_windows_titled TEXT: closes every window whose caption holds TEXT
  demo_driver list | awk -F'\t' -v t="$1" 'index($3, t) { print $1 }' |
    while read -r h; do demo_driver close "$h" >/dev/null; done
}

start_reference_platform() {
  REF_READY=$(mktemp)
  python3 "$ROOT/testbed/refplatform.py" --ready-file "$REF_READY" >/dev/null 2>&1 &
  REF_PID=$!
  for _ in $(seq 100); do [ -s "$REF_READY" ] && return 0; sleep 0.1; done
  echo "reference platform did not start" >&2
  return 1
}

reference_platform_control() {  # Python on standard input, with `platform` at hand
  python3 - "$ROOT/testbed" "$REF_READY" <<PY
import sys
sys.path.insert(0, sys.argv[1])
from refclient import RefPlatform, read_ready_file
platform = RefPlatform(read_ready_file(sys.argv[2]))
$(cat)
PY
}

stop_reference_platform() {
  [ -n "${REF_PID:-}" ] || return 0
  kill "$REF_PID" 2>/dev/null || return 0
  for _ in $(seq 30); do kill -0 "$REF_PID" 2>/dev/null || return 0; sleep 0.1; done
  kill -9 "$REF_PID" 2>/dev/null || true
}

# The prefix is shared with the tests: the accounts that the demo remembers
# are given back as they were when it ends.
keep_accounts() {
  ACCOUNTS="$WINEPREFIX/drive_c/users/$(whoami)/AppData/Roaming/VelmoraWeb/Velmora.data"
  ACCOUNTS_KEPT=$(mktemp -d)
  cp -p "$ACCOUNTS" "$ACCOUNTS"_OLD "$ACCOUNTS_KEPT"/ 2>/dev/null || true
}
restore_accounts() {
  [ -n "${ACCOUNTS_KEPT:-}" ] || return 0
  rm -f "$ACCOUNTS" "$ACCOUNTS"_OLD
  cp -p "$ACCOUNTS_KEPT"/* "$(dirname "$ACCOUNTS")"/ 2>/dev/null || true
  rm -rf "$ACCOUNTS_KEPT"
}

fail_step() {  # fail_step TEXT: the demo ends with an error
  echo "!! $1" >&2
  exit 1
}

# Resource links as the platform's course page sends them, carried out for
# the remembered account through the built-in default host.
demo_resource_links() {
  local host=${VELMORA_HOSTS%% *}
  echo "== remembered auto-login account 13800000001 at $host:9112"
  keep_accounts
  wine "$ROOT/build/win/testbed/velmorastate.exe" account "$host" 9112 13800000001 123456 0 \
    </dev/null >/dev/null 2>&1 || fail_step "could not remember the account"
  local files="$WINEPREFIX/drive_c/users/$(whoami)/AppData/Roaming/VelmoraWeb/00001001/FILE"
  rm -f "$files"/200001.*
  reference_platform_control <<'PY'
lines = "".join("第%05d行：运动学讲义，维墨助手下载演示。\r\n" % i for i in range(40000))
platform.put_file("download", "200001", data=lines.encode("gbk"))  # 1.64M
platform.set_faults({"server": "download", "drip": {"bytes": 65536, "delay": 0.25}})
PY
  local link="velmoraurl://res:fid=200001&fext=txt&hashcode=demo-v1&server=$host:9112"
  follow_link "$link"
  answer_question 7-resource-size-question 6 || fail_step "no size question for a 1.64M document"
  demo_driver wait '#32770' '下载资源' 15000 >/dev/null || fail_step "no progress dialog"
  echo "   progress dialog 下载资源"
  shot 8-resource-progress
  wait_caption "200001" 60 || fail_step "the document was not opened"
  shot 9-resource-opened
  close_windows_titled "200001"
  [ "$(stat -c %s "$files/200001.txt")" = 1720000 ] || fail_step "the document was not stored whole"
  echo "   stored $files/200001.txt (1.64M), hash code demo-v1 recorded"

  echo "== the same link again: the stored copy opens at once"
  reference_platform_control <<'PY'
platform.clear_faults()
open(platform.ready["record_dir"] + "/.before", "w").write(str(len(platform.requests("download"))))
PY
  follow_link "$link"
  wait_caption "200001" 60 || fail_step "the stored copy was not opened"
  shot 10-resource-opened-again
  close_windows_titled "200001"
  reference_platform_control <<'PY' || fail_step "the stored copy was downloaded again"
before = int(open(platform.ready["record_dir"] + "/.before").read())
sys.exit(0 if len(platform.requests("download")) == before else 1)
PY
  echo "   no request to the download server"
}

run_demo() {
  install_deps
  echo "== building the program and the demo's helpers in build/win"
  build_tree "$ROOT/build/win" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" \
    -- VelmoraURL uidriver dlwindows velmorastate
  make_prefix
  source "$ROOT/scripts/wine-env.sh"
  # A run starts afresh: the download bar would ask before overwriting.
  rm -rf "$WINEPREFIX/drive_c/$DEMO_DIR"
  mkdir -p "$DEMO_OUT" "$WINEPREFIX/drive_c/$DEMO_DIR"
  rm -f "$DEMO_OUT"/*.png
  # The built-in hosts reach the reference platform only in a namespace of
  # the demo's own, whose wineserver must own the sockets.
  wineserver -k 2>/dev/null || true
  "$ROOT/scripts/isolated.sh" bash -c 'set -euo pipefail; ROOT=$VELMORA_ROOT
    source "$ROOT/scripts/lib.sh"; source "$ROOT/scripts/demo.sh"; demo_steps'
  echo "== done: screenshots in build/demo/"
}

demo_steps() {
  source "$ROOT/scripts/wine-env.sh"
  [ -n "${DISPLAY:-}" ] || start_display
  wineserver -p 2>/dev/null || true  # already running is fine
  trap 'stop_reference_platform; wineserver -k 2>/dev/null; stop_display; restore_accounts' EXIT
  start_reference_platform
  echo "== reference platform: $(tr '\n' ' ' <"$REF_READY")"
  # A fresh prefix has the text-file handler but not the extension that names it.
  wine reg add 'HKCR\.txt' /ve /d txtfile /f >/dev/null 2>&1
  printf '欢迎使用Velmora助手。\r\n' | iconv -f UTF-8 -t GBK >"$WINEPREFIX/drive_c/$DEMO_DIR/欢迎.txt"

  follow_link "velmoraurl://exe:'C:\\windows\\notepad.exe' 'C:\\$DEMO_DIR\\欢迎.txt'"
  answer_question 1-exe-link-asks 6
  demo_driver wait Notepad '*' 20000 >/dev/null && shot 2-program-started
  close_windows_titled "欢迎"

  follow_link "velmoraurl://file:C:/$DEMO_DIR/%E6%AC%A2%E8%BF%8E.txt"
  demo_driver wait Notepad '*' 20000 >/dev/null && shot 3-document-opened
  close_windows_titled "欢迎"

  follow_link "velmoraurl://exe:'cmd.exe' '/c echo unwanted'"
  answer_question 4-untrusted-program-refused 7

  # Slow the tool server down so that the download bar can be seen at work.
  reference_platform_control <<'PY'
platform.put_file("tool", "vmtools.exe", generate=4 * 1024 * 1024)
platform.set_faults({"server": "tool", "drip": {"bytes": 16384, "delay": 0.2}})
PY
  echo "== course file downloaded from the reference platform with the progress dialog"
  wine "$ROOT/build/win/testbed/dlwindows.exe" progress \
    "http://127.0.0.1:8112/file/downLoad?ft=1&u=2&fid=100001" \
    "C:\\$DEMO_DIR\\kinematics.pdf" </dev/null 2>/dev/null &
  local dl=$!
  demo_driver wait '#32770' '下载资源' 10000 >/dev/null && shot 5-download-progress
  wait "$dl" || true
  cmp -s "$ROOT/testbed/seed/files/kinematics.pdf" "$WINEPREFIX/drive_c/$DEMO_DIR/kinematics.pdf" &&
    echo "   downloaded C:\\$DEMO_DIR\\kinematics.pdf, identical to the platform's file"
  echo "== companion tool fetched in 10 ranges with the download bar"
  wine "$ROOT/build/win/testbed/dlwindows.exe" bar "http://127.0.0.1:7112/VelmoraTool/vmtools.exe" \
    "C:\\$DEMO_DIR" "Velmora工具" </dev/null 2>/dev/null &
  local bar=$!
  sleep 3 && shot 6-download-bar
  wait "$bar" || true
  [ -s "$WINEPREFIX/drive_c/$DEMO_DIR/vmtools.exe" ] && echo "   fetched C:\\$DEMO_DIR\\vmtools.exe"
  demo_resource_links
}
