# The assistant's Wine prefix on a Linux desktop: one per user, made quietly
# on first use, with the fleet's policy written into it at every start.
# Sourced by the launcher (velmora-assistant); the functions that only turn
# text into text are also used on their own by the tests.

VELMORA_LIB=${VELMORA_LIB:-/usr/lib/velmora-assistant}
VELMORA_EXE=${VELMORA_EXE:-/opt/velmora/VelmoraURL.exe}
VELMORA_POLICY=${VELMORA_POLICY:-/etc/velmora/policy.conf}
VELMORA_POLICY_KEY='HKEY_LOCAL_MACHINE\Software\Policies\Velmora\Assistant'
VELMORA_POLICY_LINE='^[[:space:]]*([A-Za-z]+)[[:space:]]*=[[:space:]]*(.*[^[:space:]])?[[:space:]]*$'
# Debian's 32-bit Wine: without it a 32-bit program cannot run in the prefix.
VELMORA_WINE32=${VELMORA_WINE32:-/usr/lib/wine/wine}
# Windows programs keep their own associations; every other document goes to
# the desktop's program for its type.
VELMORA_WINDOWS_TYPES=" exe com bat cmd pif scr cpl dll msi msp lnk url reg inf vbs js wsf "
VELMORA_DOCUMENT_TYPES="txt pdf doc docx xls xlsx ppt pptx pps ppsx odt ods odp rtf csv
  jpg jpeg png gif bmp svg mp3 wav mp4 avi wmv flv mkv webm swf zip rar 7z htm html xml"

# The variables every Wine process of the assistant needs: the user's own
# prefix, the Chinese locale (code page 936) whatever the desktop's language,
# no debug noise, and no menu entries or add-on installers of Wine's own.
velmora_environment() {
  local root
  root=$(velmora_prefix_root)
  if [ -n "$root" ]; then
    VELMORA_HOME="$root/$(id -un)"
  else
    VELMORA_HOME="${XDG_DATA_HOME:-$HOME/.local/share}/velmora"
  fi
  export WINEPREFIX="$VELMORA_HOME/prefix" WINEARCH=win64 WINEDEBUG=-all
  export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
  # The desktop's own programs that open documents get the user's language back.
  export VELMORA_DESKTOP_LC_ALL=${LC_ALL:-}
  export LC_ALL=zh_CN.UTF-8
}

# The directory that holds each user's prefix when it is not in the home
# (a prefix takes about 1.3 GB, too much for many network homes):
# VELMORA_PREFIX_DIR from the environment, else PrefixDir of policy.conf.
velmora_prefix_root() {
  local number line root=${VELMORA_PREFIX_DIR:-}
  if [ -z "$root" ] && [ -r "$VELMORA_POLICY" ]; then
    while read -r number line; do
      [[ $line =~ $VELMORA_POLICY_LINE ]] && [ "${BASH_REMATCH[1],,}" = prefixdir ] &&
        root=${BASH_REMATCH[2]}
    done < <(velmora_policy_lines <"$VELMORA_POLICY")
  fi
  if [ -n "$root" ] && ! velmora_linux_dir "$root"; then
    velmora_warn "the place for prefixes must be an absolute path: $root ignored"
    return 0
  fi
  printf '%s\n' "$root"
}

velmora_linux_dir() { [[ $1 == /* && ! $1 =~ [[:cntrl:]] ]]; }

# The directory of the user's prefix and lock. In a directory that all users
# share it must be the user's own and closed to others: whoever controls
# another user's prefix runs programs as that user.
velmora_prefix_place() {
  local data=${XDG_DATA_HOME:-$HOME/.local/share}
  if [ "$VELMORA_HOME" = "$data/velmora" ]; then
    mkdir -p "$VELMORA_HOME"
    return
  fi
  [ -L "$VELMORA_HOME" ] && return 1
  [ -d "$VELMORA_HOME" ] || mkdir -m 0700 "$VELMORA_HOME" 2>/dev/null || return 1
  [ -O "$VELMORA_HOME" ] && [ ! -L "$VELMORA_HOME" ] &&
    [ -z "$(find "$VELMORA_HOME" -maxdepth 0 -perm /022)" ]
}

velmora_warn() { echo "velmora-assistant: $*" >&2; }

# What the student must know (the assistant cannot start, a program cannot
# run) is shown on the desktop: a launcher's standard error is read by no one.
velmora_tell() { "$VELMORA_LIB/velmora-notice" "$1"; }

# The lines of policy.conf that say something, each as "NUMBER LINE": the
# byte-order mark that Windows editors write, either kind of line end,
# comments and blank lines are taken away.
velmora_policy_lines() {
  local line number=0
  while IFS= read -r line || [ -n "$line" ]; do
    number=$((number + 1))
    [ "$number" = 1 ] && line=${line#$'\xef\xbb\xbf'}
    line=${line%$'\r'}
    [[ $line =~ ^[[:space:]]*([#\;]|$) ]] && continue
    printf '%s %s\n' "$number" "$line"
  done
}

# "Name = value" lines of policy.conf on standard input; the registry file
# that replaces the policy key on standard output. A line that cannot be
# used is reported and skipped; the others still apply. The package manager
# updates the program here, so its own update check is always off.
velmora_policy_reg() {
  local line number key value server="" cdn="" announce="" dir="" signed=""
  while read -r number line; do
    if ! [[ $line =~ $VELMORA_POLICY_LINE ]]; then
      velmora_warn "policy line $number is not \"Name = value\": ignored"
      continue
    fi
    key=${BASH_REMATCH[1]}
    value=${BASH_REMATCH[2]}
    case ${key,,} in
      server) velmora_host_port "$value" optional && server=$value ;;
      cdnserver) velmora_host_port "$value" required && cdn=$value ;;
      cdnannouncements) velmora_switch "$value" && announce=$value ;;
      updatecheck) ;;
      requiresignedtools) velmora_switch "$value" && signed=$value ;;
      resourcedir) velmora_windows_dir "$value" >/dev/null && dir=$(velmora_windows_dir "$value") ;;
      prefixdir) velmora_linux_dir "$value" ;;  # the launcher's own (velmora_prefix_root)
      *) velmora_warn "policy line $number: unknown setting $key: ignored" ;;
    esac || velmora_warn "policy line $number: $key = $value is not valid: ignored"
  done < <(velmora_policy_lines)
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[-%s]\r\n\r\n[%s]\r\n' \
    "$VELMORA_POLICY_KEY" "$VELMORA_POLICY_KEY"
  [ -n "$server" ] && printf '"Server"="%s"\r\n' "$server"
  [ -n "$cdn" ] && printf '"CdnServer"="%s"\r\n' "$cdn"
  [ -n "$announce" ] && printf '"CdnAnnouncements"=dword:%08x\r\n' "$announce"
  printf '"UpdateCheck"=dword:00000000\r\n'
  [ -n "$dir" ] && printf '"ResourceDir"="%s"\r\n' "${dir//\\/\\\\}"
  [ -n "$signed" ] && printf '"RequireSignedTools"=dword:%08x\r\n' "$signed"
  return 0
}

velmora_host_port() {  # velmora_host_port VALUE optional|required
  [[ $1 =~ ^[A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9])?(:([0-9]{1,5}))?$ ]] || return 1
  local port=${BASH_REMATCH[3]}
  [ -z "$port" ] && [ "$2" = required ] && return 1
  [ -z "$port" ] || { [ "$((10#$port))" -ge 1 ] && [ "$((10#$port))" -le 65535 ]; }
}

velmora_switch() { [[ $1 =~ ^[01]$ ]]; }

# An absolute Windows path as it is, or an absolute Linux path as the prefix
# sees it (drive Z: is the Linux root).
velmora_windows_dir() {
  local dir=$1
  [[ $dir == /* ]] && dir="Z:${dir//\//\\}"
  [[ $dir =~ ^[A-Za-z]:\\ ]] || return 1
  [[ $dir =~ [\"[:cntrl:]] ]] && return 1
  [[ $dir =~ (^|\\)\.\.(\\|$) ]] && return 1
  printf '%s\n' "$dir"
}

# The prefix's settings: fonts for Chinese, no menu entries of Wine's own,
# documents opened by the desktop (through winebrowser and velmora-open).
velmora_settings_reg() {
  printf 'Windows Registry Editor Version 5.00\r\n\r\n'
  printf '[HKEY_CURRENT_USER\\Software\\Wine\\DllOverrides]\r\n"winemenubuilder.exe"=""\r\n\r\n'
  # The caption buttons' font (see velmora_prepare_prefix).
  printf '[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts]\r\n'
  printf '"Marlett (TrueType)"="marlett.ttf"\r\n\r\n'
  printf '[HKEY_CURRENT_USER\\Software\\Wine\\WineBrowser]\r\n"Browsers"="%s/velmora-open"\r\n\r\n' \
    "$VELMORA_LIB"
  printf '[HKEY_CLASSES_ROOT\\VelmoraDesktopDocument\\shell\\open\\command]\r\n'
  printf '@="\\"C:\\\\windows\\\\system32\\\\winebrowser.exe\\" \\"%%1\\""\r\n'
}

# The extensions given as arguments handed to the desktop: Wine's shell has
# no catch-all association, so each extension is mapped on its own.
velmora_associations_reg() {
  printf 'Windows Registry Editor Version 5.00\r\n'
  local ext
  for ext in "$@"; do
    printf '\r\n[HKEY_CLASSES_ROOT\\.%s]\r\n@="VelmoraDesktopDocument"\r\n' "$ext"
  done
}

# Extensions that the desktop knows a type for at this moment (the system's,
# those installed later and the user's own MIME database), the usual
# documents and any given as arguments, less the Windows programs.
velmora_document_types() {  # velmora_document_types [EXTENSION...]
  local dir globs=() ext
  for dir in "${XDG_DATA_HOME:-$HOME/.local/share}" ${XDG_DATA_DIRS:-/usr/local/share:/usr/share}; do
    globs+=("$dir/mime/globs2")
  done
  {
    printf '%s\n' $VELMORA_DOCUMENT_TYPES "$@"
    for dir in "${globs[@]}"; do
      [ -r "$dir" ] && sed -n 's/^[0-9]*:[^:]*:\*\.\([A-Za-z0-9_+-]*\)$/\1/p' "$dir"
    done
  } | tr 'A-Z' 'a-z' | sort -u | while read -r ext; do
    [[ $ext =~ ^[a-z0-9_+-]+$ ]] || continue
    [[ $VELMORA_WINDOWS_TYPES == *" $ext "* ]] || echo "$ext"
  done
}

# The extension of the resource a link names ("fext=pdf"), so that a type no
# MIME database knows still goes to the desktop, which tells the student
# when it has no program for it.
velmora_link_type() {  # velmora_link_type [URL]
  [[ ${1:-} =~ ^velmoraurl:.*[\?\&:]fext=([A-Za-z0-9_+-]{1,16})(\&|$) ]] &&
    printf '%s\n' "${BASH_REMATCH[1]}"
  return 0
}

# Called at every start, before the link reaches the assistant: a type the
# desktop learned since the last start (a program installed, a type a user
# registered) opens with the desktop's program too. Only new extensions are
# imported, so that a start costs nothing when the desktop learned nothing.
velmora_map_documents() {  # velmora_map_documents [URL]
  local kept="$WINEPREFIX/.velmora-documents" new
  touch "$kept" || return 1
  new=$(velmora_document_types $(velmora_link_type "${1:-}") | sort - "$kept" "$kept" | uniq -u)
  [ -n "$new" ] || return 0
  # shellcheck disable=SC2086
  velmora_associations_reg $new | velmora_import_reg velmora-documents.reg &&
    sort -u -o "$kept" "$kept" - <<<"$new"
}

velmora_import_reg() {  # velmora_import_reg NAME: the .reg text on standard input
  local file="$WINEPREFIX/drive_c/windows/temp/$1"
  iconv -f UTF-8 -t UTF-16 >"$file" || return 1
  wine regedit /S "C:\\windows\\temp\\$1" </dev/null >/dev/null 2>&1
}

# Made on first use and set up again after each upgrade of the package; an
# existing prefix and the user's data in it are kept. A prefix that could
# not be made is taken away again, so that the next start makes it anew.
velmora_prepare_prefix() {  # velmora_prepare_prefix VERSION
  local marker="$WINEPREFIX/.velmora-version" made=""
  [ "$(cat "$marker" 2>/dev/null)" = "$1" ] && return 0
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    [ -d "$WINEPREFIX" ] || made=yes
    mkdir -p "$WINEPREFIX" 2>/dev/null || return 1
    if ! wineboot -i </dev/null >/dev/null 2>&1 || ! wineserver -w || [ ! -f "$WINEPREFIX/system.reg" ]; then
      [ -n "$made" ] && rm -rf "$WINEPREFIX"
      return 1
    fi
  fi
  mkdir -p "$WINEPREFIX/drive_c/windows/temp" "$WINEPREFIX/drive_c/windows/Fonts"
  # Wine draws the caption buttons with Marlett: without it in the prefix
  # they show as letters.
  cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
  iconv -f UTF-16 -t UTF-8 "$VELMORA_LIB/fonts.reg" | velmora_import_reg velmora-fonts.reg &&
    velmora_settings_reg | velmora_import_reg velmora-settings.reg &&
    echo "$1" >"$marker"
}

# Why the assistant cannot start, said where the student sees it.
velmora_prefix_failed() {
  velmora_tell "Velmora助手无法在以下位置建立运行环境（Wine前缀，每个用户约需1.3 GB）：
$WINEPREFIX

请检查该处的磁盘空间与写入权限，或请管理员在 /etc/velmora/policy.conf 中用 PrefixDir 指定本地磁盘上的目录。"
}

# A 32-bit program in a prefix without 32-bit Wine starts and ends at once
# without a word; Wine's error line for it, kept for this alone, tells the
# student why the experiment did not appear. Other lines pass through.
velmora_run() {  # velmora_run ARG...
  [ -x "$VELMORA_WINE32" ] && exec wine "$VELMORA_EXE" "$@"
  export WINEDEBUG=-all,err+environ
  exec wine "$VELMORA_EXE" "$@" 2> >(velmora_watch_32bit >&2)
}

velmora_watch_32bit() {
  local line program
  while IFS= read -r line; do
    if [[ $line =~ starting\ L\"(.*)\"\ in\ experimental\ wow64\ mode ]]; then
      program=${BASH_REMATCH[1]##*\\}
      velmora_tell "程序“$program”是32位程序，本机只装有64位Wine，无法运行它。

请管理员安装32位Wine（以root执行：dpkg --add-architecture i386 && apt-get update && apt-get install wine32:i386）。"
    else
      printf '%s\n' "$line"
    fi
  done
}

# Imported only when the policy differs from the one the prefix holds, so
# that a start costs nothing when IT changed nothing.
velmora_apply_policy() {
  local wanted kept="$WINEPREFIX/.velmora-policy" source=/dev/null
  [ -r "$VELMORA_POLICY" ] && source=$VELMORA_POLICY
  wanted=$(velmora_policy_reg <"$source")
  [ "$wanted" = "$(cat "$kept" 2>/dev/null)" ] && return 0
  printf '%s\n' "$wanted" | velmora_import_reg velmora-policy.reg &&
    printf '%s\n' "$wanted" >"$kept"
}
