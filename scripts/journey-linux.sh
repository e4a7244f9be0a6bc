# The journey's Linux part (scripts/journey.sh): the assistant's Debian
# package installed on this machine, a student of a Linux desktop clicking a
# course page's link in Chromium, and the document opened by the desktop's
# own program for its type. On a screen of its own, as a user made for it.

JOURNEY_LINUX_USER=velmora-demo
JOURNEY_PAGE_PORT=9180
JOURNEY_BROWSER_POLICY=/etc/chromium/policies/managed/velmora-demo.json

jlx() {  # jlx COMMAND...: as the desktop's user, on the Linux part's screen
  runuser -u "$JOURNEY_LINUX_USER" -- env -i HOME="/home/$JOURNEY_LINUX_USER" \
    USER="$JOURNEY_LINUX_USER" PATH=/usr/bin:/bin DISPLAY="$DISPLAY" LANG=zh_CN.UTF-8 "$@"
}

jlx_wine() {  # the UI driver in the user's prefix of the assistant
  local out status=0
  out=$(mktemp)
  jlx env WINEPREFIX="/home/$JOURNEY_LINUX_USER/.local/share/velmora/prefix" LC_ALL=zh_CN.UTF-8 \
    WINEDEBUG=-all wine "/home/$JOURNEY_LINUX_USER/uidriver.exe" "$@" </dev/null >"$out" 2>/dev/null ||
    status=$?
  tr -d '\r' <"$out"
  rm -f "$out"
  return "$status"
}

journey_linux_desktop() {
  [ "$JOURNEY_BUILD" = build/win ] || {
    echo "   skipped: the Linux desktop's package carries the x64 program"
    return 2
  }
  [ "$(id -u)" = 0 ] && command -v chromium >/dev/null && command -v apt-get >/dev/null || {
    echo "   skipped: needs root, apt-get and Debian's chromium"
    return 2
  }
  local journey_display=$DISPLAY journey_xvfb=${XVFB_PID:-} status=0
  take_linux_package
  # What the machine had before the journey, so that its end leaves it so.
  JOURNEY_HAD_PACKAGE=$(dpkg-query -W -f='${Status}' velmora-assistant 2>/dev/null | grep -c 'ok installed')
  JOURNEY_POLICY_DIRS=$(d=$(dirname "$JOURNEY_BROWSER_POLICY")
    while [ ! -e "$d" ]; do echo "$d"; d=$(dirname "$d"); done)
  journey_start_display 9>&- || { give_back_linux_package; return 1; }
  journey_linux_session 9>&- || status=$?
  journey_linux_end 9>&-
  give_back_linux_package
  kill "$XVFB_PID" 2>/dev/null
  export DISPLAY=$journey_display XVFB_PID=$journey_xvfb
  return "$status"
}

journey_linux_session() {
  local deb
  deb=$("$ROOT/installer/linux/build-deb.sh" "$ROOT/build/win" "$JOURNEY_STATE") ||
    journey_fail "the package was not built" || return
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --reinstall "$deb" >/dev/null 2>&1 ||
    journey_fail "the package did not install" || return
  echo "   installed $(basename "$deb"); handler: $(XDG_DATA_DIRS=/usr/share \
    xdg-mime query default x-scheme-handler/velmoraurl)"
  journey_linux_user || return
  journey_linux_page
  jlx chromium --no-first-run --no-default-browser-check --password-store=basic \
    --user-data-dir="/home/$JOURNEY_LINUX_USER/.config/chromium-demo" --window-position=0,0 \
    --window-size=1280,800 "http://127.0.0.1:$JOURNEY_PAGE_PORT/course.html" >/dev/null 2>&1 &
  JOURNEY_BROWSER_PID=$!
  local _
  for _ in $(seq 60); do jlx xdotool search --name 运动学讲义 >/dev/null 2>&1 && break; sleep 1; done
  sleep 5
  journey_shot linux-course-page "Linux桌面：Chromium中的课程页面与资源链接"
  xdotool mousemove 180 274 click 1  # the link's button
  for _ in $(seq 120); do
    [ -f "/home/$JOURNEY_LINUX_USER/.local/share/velmora/prefix/.velmora-version" ] && break
    sleep 1
  done
  local dialog
  dialog=$(jlx_wine wait '#32770' '登录Velmora平台' 90000) ||
    journey_fail "the link did not start the assistant" || return
  jlx_wine settext "$dialog" $LOGIN_USER "$JOURNEY_USER" >/dev/null
  jlx_wine settext "$dialog" $LOGIN_PASSWORD "$JOURNEY_PASSWORD" >/dev/null
  journey_shot linux-login "Linux桌面：链接启动助手，登录"
  jlx_wine click "$dialog" $IDOK >/dev/null
  jlx_wine wait '#32770' '下载资源' 30000 >/dev/null || journey_fail "no progress window" || return
  journey_shot linux-download "Linux桌面：下载进度"
  local opened=""
  for _ in $(seq 90); do
    opened=$(head -n1 "/home/$JOURNEY_LINUX_USER/opened.log" 2>/dev/null) && [ -n "$opened" ] && break
    sleep 1
  done
  [ -n "$opened" ] || journey_fail "the document did not reach the desktop's program" || return
  sleep 4
  journey_shot linux-document "Linux桌面：讲义由桌面的默认程序打开"
  cmp -s "${opened#file://}" "$JOURNEY_STATE/linux-document.txt" ||
    journey_fail "the opened document differs from the platform's" || return
  echo "   opened by the desktop's program for text/plain: ${opened#file://}"
}

# The student's desktop: text documents open in the browser, and the
# program that opens them notes what it was given.
journey_linux_user() {
  id "$JOURNEY_LINUX_USER" >/dev/null 2>&1 && userdel -r "$JOURNEY_LINUX_USER" 2>/dev/null
  useradd -m -s /bin/bash "$JOURNEY_LINUX_USER" || journey_fail "no user for the desktop" || return
  local home=/home/$JOURNEY_LINUX_USER
  mkdir -p "$home/bin" "$home/.local/share/applications" "$home/.config"
  cat >"$home/bin/open-text" <<OPENER
#!/bin/sh
printf '%s\n' "\$1" >> "\$HOME/opened.log"
exec chromium --user-data-dir="$home/.config/chromium-demo" --new-window "\$1"
OPENER
  chmod 755 "$home/bin/open-text"
  printf '[Desktop Entry]\nType=Application\nName=Text\nExec=%s %%f\nMimeType=text/plain;\n' \
    "$home/bin/open-text" >"$home/.local/share/applications/open-text.desktop"
  printf '[Default Applications]\ntext/plain=open-text.desktop\n' >"$home/.config/mimeapps.list"
  cp "$(journey_testbed)/uidriver.exe" "$home/uidriver.exe"
  chown -R "$JOURNEY_LINUX_USER:" "$home"
}

journey_linux_page() {
  local site=$JOURNEY_STATE/site link
  mkdir -p "$site"
  link="velmoraurl://res?&fid=200201&fext=txt&hashcode=linux-v1&server=127.0.0.1:9112"
  cat >"$site/course.html" <<PAGE
<!doctype html><meta charset="utf-8"><title>运动学讲义 - Velmora平台</title>
<body style="font-family:'WenQuanYi Micro Hei';background:#eef1f5;margin:40px">
<h1>高一物理 · 运动学</h1><p>本节课的讲义（文本），点击下载并打开：</p>
<p><a href="$link" style="display:inline-block;padding:30px 60px;font-size:40px;
background:#1e6fd9;color:#fff;border-radius:12px;text-decoration:none">下载讲义</a></p></body>
PAGE
  printf '第%05d行：运动学讲义，Linux桌面演示。\n' $(seq 2000) >"$JOURNEY_STATE/linux-document.txt"
  journey_platform <<PY >/dev/null
platform.put_file("download", "200201", data=open("$JOURNEY_STATE/linux-document.txt", "rb").read())
platform.set_faults({"server": "download", "drip": {"bytes": 16384, "delay": 0.3}})
PY
  python3 -m http.server "$JOURNEY_PAGE_PORT" --bind 127.0.0.1 --directory "$site" \
    >/dev/null 2>&1 &
  JOURNEY_PAGE_PID=$!
  mkdir -p "$(dirname "$JOURNEY_BROWSER_POLICY")"
  printf '{"AutoLaunchProtocolsFromOrigins": [{"protocol": "velmoraurl", "allowed_origins": ["http://127.0.0.1:%s"]}]}\n' \
    "$JOURNEY_PAGE_PORT" >"$JOURNEY_BROWSER_POLICY"
}

journey_linux_end() {
  [ -n "${JOURNEY_BROWSER_PID:-}" ] && kill "$JOURNEY_BROWSER_PID" 2>/dev/null
  [ -n "${JOURNEY_PAGE_PID:-}" ] && kill "$JOURNEY_PAGE_PID" 2>/dev/null
  rm -f "$JOURNEY_BROWSER_POLICY"
  local dir
  for dir in ${JOURNEY_POLICY_DIRS:-}; do rmdir "$dir" 2>/dev/null; done
  journey_platform <<<'platform.clear_faults()' >/dev/null 2>&1
  if id "$JOURNEY_LINUX_USER" >/dev/null 2>&1; then
    jlx env WINEPREFIX="/home/$JOURNEY_LINUX_USER/.local/share/velmora/prefix" wineserver -k \
      >/dev/null 2>&1
    pkill -KILL -u "$JOURNEY_LINUX_USER" 2>/dev/null
    sleep 1
    userdel -r "$JOURNEY_LINUX_USER" 2>/dev/null
  fi
  [ "${JOURNEY_HAD_PACKAGE:-1}" = 0 ] &&
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -q velmora-assistant >/dev/null 2>&1
  return 0
}
