# The whole journey of a student and a teacher, as the main job shows it:
# the real program under Wine in a virtual desktop of its own, against the
# reference platform on loopback, inside the network and mount namespace of
# scripts/isolated.sh so that the built-in hosts and the fixed ports are the
# journey's own. Each step prints its outcome and leaves screenshots in
# build/demo/; the end writes the captioned overview build/demo/journey.png
# and shows the main windows at 96, 144 and 192 DPI (build/demo/dpi-*.png).
# A step whose piece is not in this build says "skipped: ..." and passes;
# the command fails when any step that ran failed.
# Sourced by velmora.sh (after scripts/lib.sh); the helpers live in
# scripts/journey-lib.sh, the steps in scripts/journey-steps.sh.

# VELMORA_ARCH=x86 walks the same day with the 32-bit program (build/win32,
# under 32-bit Wine); its pictures go to build/demo-x86.
if [ "${VELMORA_ARCH:-x64}" = x86 ]; then
  JOURNEY_BUILD=build/win32 JOURNEY_OUT="$ROOT/build/demo-x86"
else
  JOURNEY_BUILD=build/win JOURNEY_OUT="$ROOT/build/demo"
fi
source "$ROOT/scripts/journey-lib.sh"
source "$ROOT/scripts/journey-steps.sh"
source "$ROOT/scripts/journey-linux.sh"
JOURNEY_HELPERS=(VelmoraURL uidriver dlgdriver labexperiment webView experiment mainwndprobe
  listdriver VmCourse_self)

run_journey() {
  install_deps
  echo "== building the program and the journey's helpers in $JOURNEY_BUILD"
  if [ "$JOURNEY_BUILD" = build/win32 ]; then
    local status=0
    install_running_wine32 || status=$?
    [ "$status" = 1 ] && { echo "32-bit Wine (wine32) could not be installed" >&2; return 1; }
    [ "$status" = 2 ] && { echo "this machine runs no 32-bit code (its kernel's 32-bit mode is off)" >&2; return 1; }
    build_tree "$ROOT/build/win32" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-i686.cmake" \
      -- VelmoraURL
  else
    build_tree "$ROOT/build/win" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" -- VelmoraURL
  fi
  local present=()
  mapfile -t present < <(journey_targets_present "$ROOT/$JOURNEY_BUILD")
  cmake --build "$ROOT/$JOURNEY_BUILD" --target "${present[@]}"
  make_prefix
  source "$ROOT/scripts/wine-env.sh"
  mkdir -p "$JOURNEY_OUT"
  rm -f "$JOURNEY_OUT"/*.png "$JOURNEY_OUT"/captions.tsv "$JOURNEY_OUT"/steps.tsv
  # The wineserver must run inside the namespace, since it owns the sockets.
  wineserver -k 2>/dev/null || true
  local status=0
  timeout 900 "$ROOT/scripts/isolated.sh" bash -c 'set -uo pipefail; ROOT=$VELMORA_ROOT
    source "$ROOT/scripts/lib.sh"; source "$ROOT/scripts/journey.sh"; journey_steps' || status=$?
  journey_screens || status=1
  journey_montage || status=1
  journey_summary
  return "$status"
}

journey_targets_present() {  # the journey's helpers that this build has
  local all
  all=$(ninja -C "$1" -t targets all 2>/dev/null | cut -d: -f1)
  local name
  for name in "${JOURNEY_HELPERS[@]}"; do
    grep -qx "testbed/$name.exe\|$name.exe" <<<"$all" && echo "$name"
  done
  return 0
}

journey_steps() {
  journey_session_start || return 1
  trap journey_session_end EXIT
  trap 'exit 1' TERM INT
  journey_step first_start "首次启动：登录对话框，记住密码并自动登录，悬浮窗"
  journey_step program_links "网页上的程序与文件链接：询问后启动，拒绝后不启动"
  journey_step course_document "课程讲义（大于1M）：询问大小、下载进度、打开"
  journey_step same_document_again "再次点击同一讲义：直接打开本地副本"
  journey_step video_link "视频链接：首次使用时安装播放器，以平台地址播放"
  journey_step experiment_link "仿真实验链接：实验窗口，成绩提交到平台"
  journey_step experiment_platform_down "实验中平台停止：失败提示、异常中心、重新提交"
  journey_step main_menu "主菜单：悬浮窗与托盘"
  journey_step companion_tool "安装配套工具：微课制作工具"
  journey_step screen_capture "任意截屏（Alt+Shift+Z）"
  journey_step quit "退出助手"
  journey_step linux_desktop "Linux桌面：浏览器中的链接，讲义由桌面程序打开"
  ! grep -q '^FAILED' "$JOURNEY_OUT/steps.tsv"
}
