# Environment of every Wine process of the project: its own prefix, the
# Chinese locale (code page 936), no debug noise, no menu entries in $HOME.
VELMORA_ROOT=${VELMORA_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEPREFIX=${WINEPREFIX:-$VELMORA_ROOT/build/wineprefix}
export LC_ALL=zh_CN.UTF-8
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
case ":$PATH:" in
  *":$VELMORA_ROOT/scripts/wine64:"*) ;;
  *) export PATH="$VELMORA_ROOT/scripts/wine64:$PATH" ;;
esac
