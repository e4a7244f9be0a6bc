# 32-bit Wine (wine32:i386) for the 32-bit program's test runs (sourced by
# velmora.sh). Where Debian's i386 security index cannot be fetched (the
# mirror here serves a stale one), the i386 builds of the installed amd64
# libraries are taken from the pools by their exact versions, so that both
# architectures stay at one version as multiarch requires.

WINE32_REPO=/var/cache/velmora-i386

install_wine32() {
  wine32_installed && return 0
  [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null || return 1
  echo "== installing wine32 (32-bit Wine)"
  dpkg --add-architecture i386
  apt-get update -qq >/dev/null 2>&1 || true
  apt_quiet install wine32:i386 && return 0
  wine32_local_repo && wine32_install_by_parts
  wine32_installed
}

# Some virtual machines run no 32-bit code at all (the kernel's 32-bit
# mode is off): there 32-bit Wine installs but starts nothing.
runs_32_bit_code() {
  [ -x /lib/ld-linux.so.2 ] && /lib/ld-linux.so.2 --version >/dev/null 2>&1
}

# 32-bit Wine that runs: 0; none could be installed: 1; the machine runs no
# 32-bit code: 2. There 32-bit Wine starts nothing, and beside it Debian's
# wine fails to make any new prefix (each Linux desktop user's among them),
# so what was installed for nothing goes again.
install_running_wine32() {
  local had=0
  wine32_installed && had=1
  install_wine32 || return 1
  runs_32_bit_code && return 0
  [ "$had" = 1 ] || DEBIAN_FRONTEND=noninteractive apt-get purge -y -q wine32:i386 libwine:i386 \
    >>"$WINE32_REPO.log" 2>&1
  return 2
}

wine32_installed() {
  dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "ok installed"
}

apt_quiet() {
  DEBIAN_FRONTEND=noninteractive apt-get "$1" -y -q --no-install-recommends --no-remove \
    "${@:2}" >>"$WINE32_REPO.log" 2>&1
}

# The amd64 libraries that an i386 twin must match: "name version source".
wine32_twins() {
  dpkg-query -W -f='${Package} ${Architecture} ${Version} ${source:Package} ${Multi-Arch}\n' |
    awk '$2 == "amd64" && $5 == "same" { print $1, $3, $4 }'
}

wine32_pool_dir() {
  case $1 in lib?*) echo "${1:0:4}/$1" ;; *) echo "${1:0:1}/$1" ;; esac
}

# Fetches the i386 twins that no readable index offers, writes their index
# and pins every twin to its amd64 version; a version gone from the pools is
# replaced by the amd64 candidate, which the twin's install then moves to.
wine32_local_repo() {
  mkdir -p "$WINE32_REPO"
  local twins avail name version source pins=""
  twins=$(wine32_twins)
  avail=$(apt-cache madison $(awk '{ print $1 ":i386" }' <<<"$twins") 2>/dev/null |
    awk -F'|' '{ gsub(/ /, "", $1); gsub(/ /, "", $2); sub(/:i386$/, "", $1); print $1, $2 }')
  while read -r name version source; do
    if ! grep -qxF "$name $version" <<<"$avail" && ! wine32_fetch "$name" "$version" "$source"; then
      version=$(apt-cache policy "$name:amd64" | awk '/Candidate:/ { print $2 }')
      wine32_fetch "$name" "$version" "$source" || continue
    fi
    pins+="Package: $name:i386"$'\n'"Pin: version $version"$'\n'"Pin-Priority: 1001"$'\n\n'
  done <<<"$twins"
  (cd "$WINE32_REPO" && dpkg-scanpackages -m . /dev/null >Packages 2>/dev/null) || return 1
  echo "deb [trusted=yes] file:$WINE32_REPO ./" >/etc/apt/sources.list.d/velmora-i386.list
  printf '%s' "$pins" >/etc/apt/preferences.d/velmora-i386
  apt-get update -qq >/dev/null 2>&1 || true
}

wine32_fetch() {  # wine32_fetch NAME VERSION SOURCE: the i386 build into the local repo
  local deb="${1}_${2#*:}_i386.deb" base
  [ -f "$WINE32_REPO/$deb" ] && return 0
  for base in http://deb.debian.org/debian-security/pool/updates/main \
              http://deb.debian.org/debian/pool/main; do
    curl -fsS -o "$WINE32_REPO/$deb" "$base/$(wine32_pool_dir "$3")/$deb" 2>/dev/null && return 0
    rm -f "$WINE32_REPO/$deb"
  done
  return 1
}

# apt's resolver gives up on the whole set at once; install what it names as
# missing, depth first, until wine32 goes in. Nothing installed is removed.
wine32_install_by_parts() {
  local round need name
  for round in $(seq 1 40); do
    apt_quiet install wine32:i386 && return 0
    need=$(wine32_blockers wine32:i386)
    [ -n "$need" ] || return 1
    for name in $need; do wine32_install_one "$name" 0; done
  done
  return 1
}

wine32_blockers() {
  DEBIAN_FRONTEND=noninteractive apt-get install -s --no-install-recommends "$1" 2>&1 |
    grep -oE '[a-z0-9.+-]+:i386 \(' | tr -d ' (' | sort -u | grep -vxF "$1"
}

wine32_install_one() {  # wine32_install_one NAME:i386 DEPTH
  local pkg=$1 depth=$2 dep
  apt_quiet install "$pkg" && return 0
  [ "$depth" -lt 6 ] || return 1
  for dep in $(wine32_blockers "$pkg"); do wine32_install_one "$dep" $((depth + 1)); done
  apt_quiet install "$pkg" && return 0
  # A twin pinned past its amd64 version: the amd64 package and the others
  # built from its source move up with it.
  apt_quiet install "$pkg" $(wine32_siblings "${pkg%:i386}")
}

wine32_siblings() {
  local source
  source=$(dpkg-query -W -f='${source:Package}' "$1:amd64" 2>/dev/null) || return 0
  dpkg-query -W -f='${Package}:${Architecture} ${source:Package} ${Status}\n' |
    awk -v s="$source" '$2 == s && $NF == "installed" && $1 !~ /:i386$/ { sub(/:all$/, "", $1); print $1 }'
}
