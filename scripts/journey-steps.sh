# The steps of the journey (scripts/journey.sh). Each returns 0 when done,
# 2 when its piece is not in this build, 3 when done as far as this build
# goes, anything else when it failed.

JOURNEY_USER=13800000001
JOURNEY_PASSWORD=123456
JOURNEY_MAIN_PID=""
JOURNEY_MAIN_WND=""
IDOK=1 IDYES=6 IDNO=7
LOGIN_USER=1000 LOGIN_PASSWORD=1001 LOGIN_REMEMBER=1002 LOGIN_AUTO=1003 LOGIN_SERVER=1010
IDM_TRAY_HIDE=1125 IDM_TRAY_SHOW=1126 IDM_EXIT=1127 IDM_MICRO_COURSE=1158 IDM_EXAM_ERRORS=1184
EXAM_LIST_CONTROL=1015

journey_res_link() {  # the course page's link to a resource of the demo course
  echo "velmoraurl://res:$1&server=$JOURNEY_HOST:9112"
}

# Typed with the keyboard into the box that lies DY pixels below the
# dialog's top edge, replacing its text or, with "append", after it; a text
# that does not arrive is put in directly.
journey_type_into() {  # journey_type_into DIALOG CONTROL DY TEXT [hidden|append]
  local left top expected=$4 select="ctrl+a"
  if [ "${5:-}" = append ]; then
    expected="$(jdrv text "$1" "$2")$4"
    select=End
  fi
  read -r left top _ < <(jprobe rect "$1")
  jxdo mousemove $((left + 200)) $((top + $3)) click 1 sleep 0.2 key "$select" \
    type --delay 30 "$4"
  # A password box does not show its text to other programs.
  [ "${5:-}" = hidden ] && return 0
  [ "$(jdrv text "$1" "$2")" = "$expected" ] && return 0
  echo "   (the keys did not reach box $2: its text is set directly)"
  jdrv settext "$1" "$2" "$expected" >/dev/null
}

journey_first_start() {
  journey_needs "the login dialog" ui/win/LoginDlg.cpp || return
  # A machine that never ran the assistant: no account, no files.
  rm -rf "$(journey_data)"
  JOURNEY_MAIN_PID=$(jdrv launch "\"$(journey_exe)\"") || journey_fail "could not start" || return
  local dialog
  dialog=$(jdrv wait '#32770' '登录Velmora平台' 30000) || journey_fail "no login dialog" || return
  echo "   login dialog, preset with $(jdrv text "$dialog" $LOGIN_SERVER)"
  journey_type_into "$dialog" $LOGIN_SERVER 47 ":9112" append
  journey_type_into "$dialog" $LOGIN_USER 110 "$JOURNEY_USER"
  journey_type_into "$dialog" $LOGIN_PASSWORD 141 "$JOURNEY_PASSWORD" hidden
  [ "$(jdlg checked "$dialog" $LOGIN_REMEMBER)" = 1 ] || jdrv click "$dialog" $LOGIN_REMEMBER >/dev/null
  [ "$(jdlg checked "$dialog" $LOGIN_AUTO)" = 1 ] || jdrv click "$dialog" $LOGIN_AUTO >/dev/null
  echo "   typed on the keyboard: $JOURNEY_USER at $JOURNEY_HOST:9112; 记住密码 and 自动登录 checked"
  journey_shot login "首次启动：登录Velmora平台"
  jdrv click "$dialog" $IDOK >/dev/null
  jdrv gone "$dialog" 20000 >/dev/null || journey_fail "the login dialog stayed open" || return
  [ -s "$(journey_data)/Velmora.data" ] || journey_fail "the account was not remembered" || return
  echo "   logged in; account remembered in VelmoraWeb\\Velmora.data"
  journey_needs "the floating window" app/win/AssistantWnd.cpp || return 3
  JOURNEY_MAIN_WND=$(jdrv wait '#32770' 'Velmora助手' 20000) ||
    journey_fail "no floating window after the login" || return
  journey_shot floating-window "登录后：桌面上的悬浮窗"
}

# Links of a course page to a program and a file of the machine: a program
# is started only after the user's Yes; a file opens at once.
journey_program_links() {
  journey_needs "links to programs" app/OpenSafety.cpp || return
  printf '欢迎使用Velmora助手。\r\n' | iconv -f UTF-8 -t GBK \
    >"$WINEPREFIX/drive_c/velmora-demo/欢迎.txt"
  journey_link "velmoraurl://exe:'C:\\windows\\notepad.exe' 'C:\\velmora-demo\\欢迎.txt'"
  journey_answer '提示' program-link "网页上的程序链接：启动前先询问" $IDYES ||
    journey_fail "no question before a program is started" || return
  journey_wait_caption 欢迎 30 >/dev/null || journey_fail "the program was not started" || return
  journey_shot program-started "回答“是”：程序打开了文件"
  journey_close_titled 欢迎
  # A file of the machine opens at once with its program.
  journey_link "velmoraurl://file:C:/velmora-demo/%E6%AC%A2%E8%BF%8E.txt"
  journey_wait_caption 欢迎 30 >/dev/null || journey_fail "the file was not opened" || return
  journey_shot file-opened "网页上的文件链接：直接打开"
  journey_close_titled 欢迎
  local unwanted="$WINEPREFIX/drive_c/velmora-demo/unwanted.txt"
  rm -f "$unwanted"
  journey_link "velmoraurl://exe:'cmd.exe' '/c echo unwanted > C:\\velmora-demo\\unwanted.txt'"
  journey_answer '提示' program-refused "不认识的程序：回答“否”" $IDNO ||
    journey_fail "no question before an unknown program" || return
  sleep 3
  [ ! -e "$unwanted" ] || journey_fail "the refused program was started" || return
  echo "   started after Yes; the file opened; nothing started after No"
}

journey_course_document() {
  journey_needs "resource links" app/ResourceCommand.cpp || return
  journey_platform <<'PY'
lines = "".join("第%05d行：运动学讲义，维墨助手下载演示。\r\n" % i for i in range(40000))
platform.put_file("download", "200001", data=lines.encode("gbk"))  # 1.64M
platform.set_faults({"server": "download", "drip": {"bytes": 65536, "delay": 0.2}})
PY
  journey_link "$(journey_res_link "fid=200001&fext=txt&hashcode=demo-v1")"
  journey_answer '提示' size-question "讲义1.64M：是否下载？" $IDYES ||
    journey_fail "no size question for a 1.64M document" || return
  jdrv wait '#32770' '下载资源' 20000 >/dev/null || journey_fail "no progress dialog" || return
  journey_shot download-progress "下载资源：进度对话框"
  journey_wait_caption 200001 90 >/dev/null || journey_fail "the document was not opened" || return
  journey_shot document-opened "下载完成：讲义已打开"
  journey_close_titled 200001
  local stored
  stored="$(journey_data)/00001001/FILE/200001.txt"
  [ "$(stat -c %s "$stored" 2>/dev/null)" = 1720000 ] ||
    journey_fail "the document was not stored whole" || return
  echo "   stored FILE\\200001.txt (1720000 bytes) with hash code demo-v1"
}

journey_same_document_again() {
  journey_needs "resource links" app/ResourceCommand.cpp || return
  [ -s "$(journey_data)/00001001/FILE/200001.txt" ] ||
    journey_fail "no stored document from the step before" || return
  local before
  before=$(journey_platform <<'PY'
platform.clear_faults()
print(len(platform.requests("download")))
PY
)
  journey_link "$(journey_res_link "fid=200001&fext=txt&hashcode=demo-v1")"
  journey_wait_caption 200001 30 >/dev/null || journey_fail "the stored copy was not opened" || return
  journey_shot document-again "再次点击：本地副本立即打开"
  journey_close_titled 200001
  local after
  after=$(journey_platform <<<'print(len(platform.requests("download")))')
  [ "$before" = "$after" ] || journey_fail "the stored copy was downloaded again" || return
  echo "   opened without a request to the download server"
}

journey_video_link() {
  journey_needs "video links" app/VideoCommands.cpp webView.exe || return
  local tools
  tools="$(journey_data)/Tools"
  rm -rf "$tools/webView" "$tools/webView.exe"
  journey_link "$(journey_res_link "fid=100002&fext=mp4&ftype=0&hashcode=v")"
  journey_answer '提示' viewer-install "首次播放视频：安装播放器" $IDYES ||
    journey_fail "the missing viewer was not offered" || return
  local i played=""
  for i in $(seq 120); do
    played=$(cat "$tools/webView/commandline.log" 2>/dev/null) && [ -n "$played" ] && break
    sleep 0.5
  done
  [ -n "$played" ] || journey_fail "the viewer was not started" || return
  grep -q 'ft=3&u=2&fid=100002' <<<"$played" ||
    journey_fail "the viewer got no platform URL: $played" || return
  echo "   viewer installed in Tools\\webView and started: ${played#*webView.exe*\" }"
}

# The demo's experiment: a stand-in with a window, served as fid 200003.
journey_put_lab_experiment() {
  journey_platform <<PY
platform.put_file("download", "200003", data=open("$(journey_testbed)/labexperiment.exe", "rb").read())
PY
}

JOURNEY_LAB_LINK="fid=200003&fext=exe&ftype=1&couid=201&experid=303&isexam=1&userid=1001"

journey_run_lab() {  # journey_run_lab SCORE SHOT CAPTION: the run up to its window (JOURNEY_LAB)
  journey_link "$(journey_res_link "$JOURNEY_LAB_LINK&extradata=score$1&hashcode=lab-v1")"
  # A first run downloads the program; above 1 MiB the size is asked first.
  local box
  if box=$(jdrv wait '#32770' '提示' 4000); then jdrv click "$box" $IDYES >/dev/null; fi
  JOURNEY_LAB=$(jdrv wait '#32770' '自由落体仿真实验' 60000) ||
    journey_fail "no experiment window" || return
  journey_shot "$2" "$3"
}

journey_experiment_link() {
  journey_needs "experiment links" app/ResourceCommand.cpp experiments/ResultSubmission.cpp \
    labexperiment.exe || return
  journey_put_lab_experiment
  journey_run_lab 92 experiment "仿真实验：自由落体" || return
  jdrv click "$JOURNEY_LAB" $IDOK >/dev/null
  local received
  received=$(journey_platform <<'PY'
import time
for _ in range(100):
    data = platform.state().get("data", [])
    if data:
        print(data[-1]["data"])
        break
    time.sleep(0.3)
PY
)
  [ -n "$received" ] || journey_fail "no score arrived at the platform" || return
  grep -q '"score":92' <<<"$received" || journey_fail "the platform received $received" || return
  echo "   the platform received: $received"
}

# The reference platform keeps its records in memory only, so its interface
# is taken down (every connection closed unanswered) rather than its process
# ended: the record opened when the run started is still there afterwards,
# as on the real platform.
journey_experiment_platform_down() {
  journey_needs "experiment links" app/ResourceCommand.cpp experiments/ResultSubmission.cpp \
    labexperiment.exe || return
  rm -f "$(journey_data)/00001001/examerr.data"
  journey_run_lab 78 experiment-running "实验进行中，平台停止" || return
  journey_platform <<<'platform.set_faults({"server": "api", "raw": ""})' >/dev/null
  echo "   the platform stopped answering during the experiment"
  jdrv click "$JOURNEY_LAB" $IDOK >/dev/null
  journey_answer 'VelmoraURL' submission-failed "提交失败：请到“异常中心”重新提交" $IDOK 60000 ||
    journey_fail "no failure message" || return
  [ -s "$(journey_data)/00001001/examerr.data" ] || journey_fail "the run was not stored" || return
  journey_platform <<<'platform.clear_faults()' >/dev/null
  echo "   the platform is back"
  journey_needs "the failure list in the main menu" experiments/win/ExamErrListDlg.cpp \
    app/win/AssistantWnd.cpp mainwndprobe.exe listdriver.exe || return 3
  [ -n "$JOURNEY_MAIN_WND" ] || journey_fail "no floating window to open the list from" || return
  jprobe command "$JOURNEY_MAIN_WND" $IDM_EXAM_ERRORS >/dev/null
  local list
  list=$(jdrv wait '#32770' '实验记录提交失败列表' 15000) || journey_fail "no 异常中心 list" || return
  journey_resubmit_first_row "$list"
  local status=$?
  jdrv close "$list" >/dev/null
  jdrv gone "$list" 5000 >/dev/null || journey_fail "the list did not close" || return
  return $status
}

journey_resubmit_first_row() {  # journey_resubmit_first_row LIST
  journey_list_rows "$1" | sed 's/^/   row: /'
  journey_list_rows "$1" | grep -q $'\t78\t' || journey_fail "the failed run is not listed" || return
  journey_shot failure-list "异常中心：提交失败的实验记录"
  local x y
  read -r x y < <(journey_helper listdriver point "$1" $EXAM_LIST_CONTROL 0)
  jxdo mousemove "$x" "$y" click --repeat 2 --delay 80 1
  journey_answer '提示' resubmitted "重新提交成功" $IDOK ||
    journey_fail "no answer to the resubmission" || return
  [ "$JOURNEY_BOX_TEXT" = "仿真实验数据提交成功！" ] || journey_fail "not resubmitted" || return
  [ -z "$(journey_list_rows "$1")" ] || journey_fail "the row is still listed" || return
  journey_shot list-empty "重新提交后：记录已移除"
  local received
  received=$(journey_platform <<<'print(platform.state()["data"][-1]["data"])')
  grep -q '"score":78' <<<"$received" || journey_fail "the platform received $received" || return
  echo "   resubmitted; the platform received $received; the row is gone"
}

journey_list_rows() { journey_helper listdriver rows "$1" $EXAM_LIST_CONTROL | grep -v '^$'; }

journey_face_point() {  # a point on the floating window's face
  local left top
  read -r left top _ < <(jprobe rect "$JOURNEY_MAIN_WND")
  echo "$((left + 60)) $((top + 40))"
}

journey_main_menu() {
  journey_needs "the main menu" tools/MainMenuLayout.cpp app/win/AssistantWnd.cpp \
    mainwndprobe.exe || return
  [ -n "$JOURNEY_MAIN_WND" ] || journey_fail "no floating window" || return
  local x y
  read -r x y < <(journey_face_point)
  jxdo mousemove "$x" "$y" sleep 0.3 click 3
  jdrv wait '#32768' '*' 5000 >/dev/null || journey_fail "no menu on the window" || return
  journey_shot menu-window "主菜单：右键点击悬浮窗"
  jxdo key Escape
  journey_no_menu || journey_fail "the menu stayed open" || return
  jprobe command "$JOURNEY_MAIN_WND" $IDM_TRAY_HIDE >/dev/null
  sleep 1
  journey_tray_menu || return
  jprobe command "$JOURNEY_MAIN_WND" $IDM_TRAY_SHOW >/dev/null
}

journey_no_menu() {  # true once no pop-up menu is shown
  local _
  for _ in $(seq 10); do
    jdrv list | awk -F'\t' '$2 == "#32768" { found = 1 } END { exit !found }' ||
      return 0
    sleep 0.3
  done
  return 1
}

# Wine's notification area: in a virtual desktop its icons sit in the
# taskbar's lower right corner.
journey_tray_menu() {
  local at
  for at in "${JOURNEY_TRAY_POINT:-1262 790}"; do
    jxdo mousemove ${at} sleep 0.3 click 3
    if jdrv wait '#32768' '*' 3000 >/dev/null; then
      journey_shot menu-tray "主菜单：托盘图标"
      # A click on the desktop closes the menu; Escape would need the
      # pointer over it.
      jxdo mousemove 640 400 click 1
      journey_no_menu || journey_fail "the tray menu stayed open" || return
      return 0
    fi
  done
  journey_fail "no menu on the tray icon"
}

journey_companion_tool() {
  journey_needs "the companion tools" tools/CompanionTools.cpp app/win/AssistantWnd.cpp \
    mainwndprobe.exe VmCourse_self.exe || return
  [ -n "$JOURNEY_MAIN_WND" ] || journey_fail "no floating window" || return
  rm -f "$(journey_data)/Tools/VmCourse_self.exe"
  jprobe command "$JOURNEY_MAIN_WND" $IDM_MICRO_COURSE >/dev/null
  journey_answer '提示' tool-install "安装配套工具：微课制作工具" $IDYES ||
    journey_fail "the tool was not offered" || return
  local log="$WINEPREFIX/drive_c/velmora-demo/tools.log" i
  for i in $(seq 60); do [ -s "$log" ] && break; sleep 0.5; done
  [ -s "$log" ] || journey_fail "the tool was not started" || return
  [ -e "$(journey_data)/Tools/VmCourse_self.exe" ] || journey_fail "the tool was not installed" ||
    return
  echo "   installed Tools\\VmCourse_self.exe and started it: $(head -1 "$log" | tr -d '\r')"
}

journey_screen_capture() {
  journey_needs "the screen capture" ui/win/CaptureDlg.cpp app/win/AssistantWnd.cpp \
    mainwndprobe.exe || return
  [ -n "$JOURNEY_MAIN_WND" ] || journey_fail "no floating window" || return
  local x y
  read -r x y < <(journey_face_point)
  # The hot key reaches Wine only while the pointer is over one of its windows.
  jxdo mousemove "$x" "$y" sleep 0.3 key alt+shift+z
  local capture
  capture=$(jdrv wait '#32770' '任意截屏' 10000) || journey_fail "no capture on the hot key" || return
  # The region around the floating window's face, so the preview shows it.
  local left top
  read -r left top _ < <(jprobe rect "$JOURNEY_MAIN_WND")
  jxdo mousemove $((left - 40)) $((top - 20)) sleep 0.3 mousedown 1 sleep 0.3 \
    mousemove $((left + 180)) $((top + 140)) sleep 0.3
  journey_shot capture "任意截屏：拖出区域"
  jxdo mouseup 1
  local preview
  preview=$(jdrv wait '#32770' '截屏预览' 10000) || journey_fail "no preview" || return
  journey_shot capture-preview "截屏预览：图像已在剪贴板"
  local copied
  copied=$(jprobe clipboard)
  [ "$copied" = 220x160 ] || journey_fail "the clipboard holds $copied, not the 220x160 region" ||
    return
  echo "   the region is on the clipboard: $copied"
  jdrv close "$preview" >/dev/null
  jdrv gone "$preview" 5000 >/dev/null || journey_fail "the preview did not close" || return
}

journey_quit() {
  [ -n "$JOURNEY_MAIN_PID" ] || { echo "   skipped: no first process"; return 2; }
  if [ -n "$JOURNEY_MAIN_WND" ] && [ -e "$(journey_testbed)/mainwndprobe.exe" ]; then
    jprobe command "$JOURNEY_MAIN_WND" $IDM_EXIT >/dev/null
  fi
  jdrv waitpid "$JOURNEY_MAIN_PID" 20000 >/dev/null || journey_fail "the assistant did not end" ||
    return
  echo "   the assistant ended"
}

# The end of the demo: the login dialog, the floating window, the progress
# dialog and 异常中心 at 96, 144 and 192 DPI, shot and checked for cut-off
# text by their end-to-end test (tests/e2e/test_dpi.py), in a namespace of
# their own since the test takes the platform's fixed ports.
journey_screens() {
  echo "== screens at 96, 144 and 192 DPI"
  if [ "$JOURNEY_BUILD" != build/win ]; then
    echo "   skipped: shot with the x64 program"
    return 0
  fi
  local log=$JOURNEY_OUT/dpi.log status=0
  VELMORA_SHOTS=$JOURNEY_OUT "$ROOT/scripts/isolated.sh" bash -c 'cd "$0"
    wineserver -p 2>/dev/null || true
    /usr/bin/python3 -m pytest -q -p no:cacheprovider tests/e2e/test_dpi.py
    status=$?
    wineserver -k 2>/dev/null
    exit $status' "$ROOT" >"$log" 2>&1 || status=$?
  echo "   $(tail -1 "$log")"
  local shot
  for shot in "$JOURNEY_OUT"/dpi-*.png; do
    [ -e "$shot" ] && echo "   screenshot ${shot#"$ROOT"/}"
  done
  [ "$status" = 0 ] || journey_fail "windows cut off or not scaled: ${log#"$ROOT"/}"
}
