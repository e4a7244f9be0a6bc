# The assistant's Wine prefix on a Linux desktop: one per user, made quietly
# on first use, with the fleet's policy written into it at every start.
# Sourced by the launcher (velmora-assistant); the functions that only turn
# text into text are also used on their own by the tests.

VELMORA_LIB=${VELMORA_LIB:-/usr/lib/velmora-assistant}
VELMORA_EXE=${VELMORA_EXE:-/opt/velmora/VelmoraURL.exe}
VELMORA_POLICY_KEY='HKEY_LOCAL_MACHINE\Software\Policies\Velmora\Assistant'
# Windows programs keep their own associations; every other document goes to
# the desktop's program for its type.
VELMORA_WINDOWS_TYPES=" exe com bat cmd pif scr cpl dll msi msp lnk url reg inf vbs js wsf "
VELMORA_DOCUMENT_TYPES="txt pdf doc docx xls xlsx ppt pptx pps ppsx odt ods odp rtf csv
  jpg jpeg png gif bmp svg mp3 wav mp4 avi wmv flv mkv webm swf zip rar 7z htm html xml"

# The variables every Wine process of the assistant needs: the user's own
# prefix, the Chinese locale (code page 936) whatever the desktop's language,
# no debug noise, and no menu entries or add-on installers of Wine's own.
velmora_environment() {
  local data=${XDG_DATA_HOME:-$HOME/.local/share}
  export WINEPREFIX="$data/velmora/prefix" WINEARCH=win64 WINEDEBUG=-all
  export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
  # The desktop's own programs that open documents get the user's language back.
  export VELMORA_DESKTOP_LC_ALL=${LC_ALL:-}
  export LC_ALL=zh_CN.UTF-8
}

velmora_warn() { echo "velmora-assistant: $*" >&2; }

# "Name = value" lines of policy.conf on standard input; the registry file
# that replaces the policy key on standard output. A line that cannot be
# used is reported and skipped; the others still apply. The package manager
# updates the program here, so its own update check is always off.
velmora_policy_reg() {
  local line number=0 key value server="" cdn="" announce="" dir=""
  while IFS= read -r line || [ -n "$line" ]; do
    number=$((number + 1))
    line=${line%$'\r'}
    [[ $line =~ ^[[:space:]]*([#\;]|$) ]] && continue
    if ! [[ $line =~ ^[[:space:]]*([A-Za-z]+)[[:space:]]*=[[:space:]]*(.*[^[:space:]])?[[:space:]]*$ ]]; then
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
      resourcedir) velmora_windows_dir "$value" >/dev/null && dir=$(velmora_windows_dir "$value") ;;
      *) velmora_warn "policy line $number: unknown setting $key: ignored" ;;
    esac || velmora_warn "policy line $number: $key = $value is not valid: ignored"
  done
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[-%s]\r\n\r\n[%s]\r\n' \
    "$VELMORA_POLICY_KEY" "$VELMORA_POLICY_KEY"
  [ -n "$server" ] && printf '"Server"="%s"\r\n' "$server"
  [ -n "$cdn" ] && printf '"CdnServer"="%s"\r\n' "$cdn"
  [ -n "$announce" ] && printf '"CdnAnnouncements"=dword:%08x\r\n' "$announce"
  printf '"UpdateCheck"=dword:00000000\r\n'
  [ -n "$dir" ] && printf '"ResourceDir"="%s"\r\n' "${dir//\\/\\\\}"
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
velmora_settings_reg() {  # velmora_settings_reg [GLOBS_FILE]
  printf 'Windows Registry Editor Version 5.00\r\n\r\n'
  printf '[HKEY_CURRENT_USER\\Software\\Wine\\DllOverrides]\r\n"winemenubuilder.exe"=""\r\n\r\n'
  # The caption buttons' font (see velmora_prepare_prefix).
  printf '[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts]\r\n'
  printf '"Marlett (TrueType)"="marlett.ttf"\r\n\r\n'
  printf '[HKEY_CURRENT_USER\\Software\\Wine\\WineBrowser]\r\n"Browsers"="%s/velmora-open"\r\n\r\n' \
    "$VELMORA_LIB"
  printf '[HKEY_CLASSES_ROOT\\VelmoraDesktopDocument\\shell\\open\\command]\r\n'
  printf '@="\\"C:\\\\windows\\\\system32\\\\winebrowser.exe\\" \\"%%1\\""\r\n'
  local ext
  for ext in $(velmora_document_types "${1:-/usr/share/mime/globs2}"); do
    printf '\r\n[HKEY_CLASSES_ROOT\\.%s]\r\n@="VelmoraDesktopDocument"\r\n' "$ext"
  done
}

# Extensions that the desktop knows a type for, and the usual documents,
# less the Windows programs.
velmora_document_types() {  # velmora_document_types GLOBS_FILE
  {
    printf '%s\n' $VELMORA_DOCUMENT_TYPES
    [ -r "$1" ] && sed -n 's/^[0-9]*:[^:]*:\*\.\([A-Za-z0-9_+-]*\)$/\1/p' "$1" | tr 'A-Z' 'a-z'
  } | sort -u | while read -r ext; do
    [[ $VELMORA_WINDOWS_TYPES == *" $ext "* ]] || echo "$ext"
  done
}

velmora_import_reg() {  # velmora_import_reg NAME: the .reg text on standard input
  local file="$WINEPREFIX/drive_c/windows/temp/$1"
  iconv -f UTF-8 -t UTF-16 >"$file" || return 1
  wine regedit /S "C:\\windows\\temp\\$1" </dev/null >/dev/null 2>&1
}

# Made on first use and set up again after each upgrade of the package; an
# existing prefix and the user's data in it are kept.
velmora_prepare_prefix() {  # velmora_prepare_prefix VERSION
  local marker="$WINEPREFIX/.velmora-version"
  [ "$(cat "$marker" 2>/dev/null)" = "$1" ] && return 0
  mkdir -p "$WINEPREFIX" || return 1
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i </dev/null >/dev/null 2>&1 || { velmora_warn "the Wine prefix could not be made"; return 1; }
    wineserver -w
  fi
  mkdir -p "$WINEPREFIX/drive_c/windows/temp" "$WINEPREFIX/drive_c/windows/Fonts"
  # Wine draws the caption buttons with Marlett: without it in the prefix
  # they show as letters.
  cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
  iconv -f UTF-16 -t UTF-8 "$VELMORA_LIB/fonts.reg" | velmora_import_reg velmora-fonts.reg &&
    velmora_settings_reg | velmora_import_reg velmora-settings.reg || {
    velmora_warn "the Wine prefix could not be set up"
    return 1
  }
  echo "$1" >"$marker"
}

# Imported only when the policy differs from the one the prefix holds, so
# that a start costs nothing when IT changed nothing.
velmora_apply_policy() {  # velmora_apply_policy POLICY_FILE
  local wanted kept="$WINEPREFIX/.velmora-policy" source=/dev/null
  [ -r "$1" ] && source=$1
  wanted=$(velmora_policy_reg <"$source")
  [ "$wanted" = "$(cat "$kept" 2>/dev/null)" ] && return 0
  printf '%s\n' "$wanted" | velmora_import_reg velmora-policy.reg &&
    printf '%s\n' "$wanted" >"$kept"
}
