# Environment of every Wine process of the project: its own prefix, the
# Chinese locale (code page 936), no debug noise, no menu entries in $HOME.
VELMORA_ROOT=${VELMORA_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEPREFIX=${WINEPREFIX:-$VELMORA_ROOT/build/wineprefix}
export LC_ALL=zh_CN.UTF-8
export WINEDEBUG=${WINEDEBUG:--all}
# A program that crashes ends at once with its exception code: Wine's
# debugger, started for it otherwise, waits until the test's time-out.
export WINEDLLOVERRIDES="winemenubuilder.exe=d;winedbg.exe=d;mscoree,mshtml="
case ":$PATH:" in
  *":$VELMORA_ROOT/scripts/wine64:"*) ;;
  *) export PATH="$VELMORA_ROOT/scripts/wine64:$PATH" ;;
esac
