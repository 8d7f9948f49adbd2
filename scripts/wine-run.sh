#!/bin/bash
# Runs a Windows program under the Wine of its target, in that target's prefix,
# with code page 936 on the virtual display. CTest uses it as the
# cross-compiling emulator.
# Usage: wine-run.sh [--arch=x86_64|i686] program.exe [args...]
# Without --arch the target is read from the program's own PE header (a 64-bit
# Wine cannot run a 32-bit program, nor the other way round), else $LUMO_ARCH.
source "$(dirname "$0")/env.sh"

arch=""
case "${1:-}" in
  --arch=*) arch="${1#--arch=}"; shift ;;
esac
if [ -n "$arch" ]; then
  lumo_use_arch "$arch" || exit 1
elif [ -f "${1:-}" ]; then
  lumo_use_arch_of "$1"
fi
if [ "$LUMO_ARCH" = i686 ] && ! i686_runs; then
  echo "wine-run: $1 is a 32-bit program and this machine cannot run it (64-bit code only, or no 32-bit Wine)" >&2
  exit 1
fi
start_wine_services
export LC_ALL="$LUMO_WINE_LOCALE"
exec "$LUMO_WINE" "$@"
