# Helpers of the journey (scripts/journey.sh): the session in the namespace,
# the virtual desktop, the UI driver, screenshots, the reference platform,
# the step runner and the montage. Sourced after scripts/lib.sh.

JOURNEY_DESKTOP="velmora"
JOURNEY_SIZE="1280x800"
JOURNEY_FONT=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
JOURNEY_STATE=""
JOURNEY_HOST=""

journey_exe() { winepath -w "$ROOT/$JOURNEY_BUILD/VelmoraURL.exe"; }
journey_data() { echo "$WINEPREFIX/drive_c/users/$(whoami)/AppData/Roaming/VelmoraWeb"; }
journey_testbed() { echo "$ROOT/$JOURNEY_BUILD/testbed"; }

# True when the piece is in this build; prints "skipped" and returns 2 when
# it is not.
journey_needs() {  # journey_needs "what is missing" FILE...
  local what=$1 file
  shift
  for file in "$@"; do
    [ -e "$ROOT/$file" ] || [ -e "$(journey_testbed)/$file" ] || {
      echo "   skipped: $what"
      return 2
    }
  done
}

journey_fail() {  # journey_fail TEXT: always false, so `cond || journey_fail ... || return`
  echo "   FAILED: $1" >&2
  return 1
}

journey_step() {  # journey_step FUNCTION TITLE
  JOURNEY_NO=$((${JOURNEY_NO:-0} + 1))
  JOURNEY_TITLE=$2
  echo "== $JOURNEY_NO. $2"
  local status=0
  "journey_$1" || status=$?
  local outcome
  case $status in
    0) outcome=ok ;;
    2) outcome=skipped ;;
    3) outcome=partly ;;  # done as far as this build goes
    *) outcome=FAILED ;;
  esac
  echo "   -> $outcome"
  printf '%s\t%s\t%s\n' "$outcome" "$JOURNEY_NO" "$2" >>"$JOURNEY_OUT/steps.tsv"
}

# -- the session: display, virtual desktop, wineserver, platform ---------------

journey_session_start() {
  source "$ROOT/scripts/wine-env.sh"
  JOURNEY_HOST=${VELMORA_HOSTS%% *}
  # The whole journey has a screen of its own: no stale pixels of others.
  journey_start_display || return 1
  wineserver -p 2>/dev/null || true
  # Every program of the prefix joins one Wine virtual desktop for the run:
  # windows get captions, and the driver's FindWindow sees them all.
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d "$JOURNEY_DESKTOP" /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v "$JOURNEY_DESKTOP" \
    /d "$JOURNEY_SIZE" /f >/dev/null 2>&1
  # A fresh prefix has the text-file handler but not the extension naming it.
  wine reg add 'HKCR\.txt' /ve /d txtfile /f >/dev/null 2>&1
  # The desktop's own process comes first, away from every caller's pipes.
  wine explorer "/desktop=$JOURNEY_DESKTOP,$JOURNEY_SIZE" </dev/null >/dev/null 2>&1 &
  sleep 2
  export VELMORA_TOOL_LOG='C:\velmora-demo\tools.log'
  mkdir -p "$WINEPREFIX/drive_c/velmora-demo"
  rm -f "$WINEPREFIX/drive_c/velmora-demo/tools.log"
  JOURNEY_STATE=$(mktemp -d)
  journey_platform_start || return 1
  echo "   reference platform on $JOURNEY_HOST: api 9112, downloads 8112, tools 7112"
}

# A display far above the numbers that -displayfd hands out: a program that
# still names an ended display of those would put its windows on this one.
journey_start_display() {
  local n _
  for _ in $(seq 20); do
    n=$((400 + RANDOM % 500))
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 "${JOURNEY_SIZE}x24" -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && { export DISPLAY=":$n"; return 0; }
      kill -0 "$XVFB_PID" 2>/dev/null || break
      sleep 0.1
    done
  done
  journey_fail "no display could be started"
}

journey_session_end() {
  [ -n "$JOURNEY_STATE" ] || return 0
  journey_platform_stop
  wine reg delete 'HKCU\Software\Wine\Explorer' /v Desktop /f >/dev/null 2>&1 || true
  wineserver -k 2>/dev/null || true
  stop_display
  rm -rf "$JOURNEY_STATE"
  JOURNEY_STATE=""
}

journey_platform_start() {
  rm -f "$JOURNEY_STATE/ready"
  python3 "$ROOT/testbed/refplatform.py" --ready-file "$JOURNEY_STATE/ready" \
    --record-dir "$JOURNEY_STATE/records" --bin-dir "$(journey_testbed)" >/dev/null 2>&1 &
  JOURNEY_PLATFORM_PID=$!
  local _
  for _ in $(seq 100); do [ -s "$JOURNEY_STATE/ready" ] && return 0; sleep 0.1; done
  journey_fail "the reference platform did not start"
}

journey_platform_stop() {
  [ -n "${JOURNEY_PLATFORM_PID:-}" ] || return 0
  kill "$JOURNEY_PLATFORM_PID" 2>/dev/null || true
  wait "$JOURNEY_PLATFORM_PID" 2>/dev/null || true
  JOURNEY_PLATFORM_PID=""
}

journey_platform() {  # Python on standard input, with `platform` at hand
  python3 - "$ROOT/testbed" "$JOURNEY_STATE/ready" <<PY
import sys
sys.path.insert(0, sys.argv[1])
from refclient import RefPlatform, read_ready_file
platform = RefPlatform(read_ready_file(sys.argv[2]))
$(cat)
PY
}

# -- windows: the UI driver, screenshots ---------------------------------------

# Output goes through a file, not a pipe: programs that a helper starts (the
# virtual desktop among them) inherit its standard handles and would hold a
# pipe open.
journey_helper() {  # journey_helper NAME ARGS...: a testbed program's output, its status
  local name=$1 out status=0
  shift
  out=$(mktemp)
  wine "$(journey_testbed)/$name.exe" "$@" </dev/null >"$out" 2>/dev/null || status=$?
  tr -d '\r' <"$out"
  rm -f "$out"
  return "$status"
}
jdrv() { journey_helper uidriver "$@"; }
jdlg() { journey_helper dlgdriver "$@"; }
jprobe() { journey_helper mainwndprobe "$@"; }
jxdo() { xdotool "$@"; }

journey_link() {  # journey_link URL: started as the browser starts it
  echo "   link: $1"
  wine start "$1" </dev/null >/dev/null 2>&1 || journey_fail "wine start refused the link"
}

journey_wait_caption() {  # journey_wait_caption TEXT SECONDS: prints the window
  local i found
  for i in $(seq $((${2:-20} * 2))); do
    found=$(jdrv list | awk -F'\t' -v t="$1" 'index($3, t) { print $1; exit }')
    [ -n "$found" ] && { echo "$found"; return 0; }
    sleep 0.5
  done
  return 1
}

journey_close_titled() {  # closes every window whose caption holds TEXT
  jdrv list | awk -F'\t' -v t="$1" 'index($3, t) { print $1 }' |
    while read -r h; do jdrv close "$h" >/dev/null; done
}

journey_shot() {  # journey_shot NAME CAPTION: the screen into build/demo/NN-NAME.png
  sleep "${JOURNEY_SETTLE:-0.8}"
  JOURNEY_SHOT_NO=$((${JOURNEY_SHOT_NO:-0} + 1))
  local name
  name=$(printf '%02d-%s' "$JOURNEY_SHOT_NO" "$1")
  import -window root "$JOURNEY_OUT/$name.png" || return 1
  printf '%s\t%s\n' "$name" "$2" >>"$JOURNEY_OUT/captions.tsv"
  echo "   screenshot ${JOURNEY_OUT#"$ROOT"/}/$name.png: $2"
}

# The box that came up: its text printed (and kept in JOURNEY_BOX_TEXT), a
# screenshot, then the button.
journey_answer() {  # journey_answer CAPTION SHOT SHOT_CAPTION BUTTON [MS]
  local box
  JOURNEY_BOX_TEXT=""
  box=$(jdrv wait '#32770' "$1" "${5:-30000}") || return 1
  JOURNEY_BOX_TEXT=$(jdrv text "$box" | tr '\n' ' ' | sed 's/ *$//')
  echo "   「$1」 $JOURNEY_BOX_TEXT"
  journey_shot "$2" "$3"
  jdrv click "$box" "$4" >/dev/null
  jdrv gone "$box" 10000 >/dev/null
}

# -- the overview --------------------------------------------------------------

journey_montage() {
  local captions=$JOURNEY_OUT/captions.tsv
  [ -s "$captions" ] || { echo "!! no screenshots for the overview" >&2; return 1; }
  local args=() name caption
  while IFS=$'\t' read -r name caption; do
    args+=(-label "$caption" "$JOURNEY_OUT/$name.png")
  done <"$captions"
  montage -font "$JOURNEY_FONT" -pointsize 20 -background '#eef1f5' \
    -title "Velmora资源平台助手：一个学生和一位老师的一天" \
    "${args[@]}" -tile 4x -geometry 480x300+10+10 "$JOURNEY_OUT/journey.png" &&
    echo "== overview build/demo/journey.png ($(wc -l <"$captions") screenshots)"
}

journey_summary() {
  local steps=$JOURNEY_OUT/steps.tsv
  [ -s "$steps" ] || { echo "!! the journey did not run" >&2; return 0; }
  echo "== journey: $(grep -c '^ok' "$steps") ok, $(grep -c '^partly' "$steps") partly, $(grep -c '^skipped' "$steps") skipped," \
    "$(grep -c '^FAILED' "$steps") failed"
  awk -F'\t' '{ printf "   %-8s %s. %s\n", $1, $2, $3 }' "$steps"
}
