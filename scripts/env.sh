# Shared environment of the project's scripts: where the Wine prefix, the
# virtual display and the caches live. Sourced, never run.
export LUMO_CACHE="${LUMO_CACHE:-/var/cache/lumo}"
export WINEPREFIX="${WINEPREFIX:-$LUMO_CACHE/wineprefix}"
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
export DISPLAY="${DISPLAY:-:77}"
# The Windows side runs with the ANSI code page 936; scripts/wine-run.sh sets
# LC_ALL for Wine only, so Linux tools keep the machine's own locale.
export LUMO_WINE_LOCALE=zh_CN.UTF-8
