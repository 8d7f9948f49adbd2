#!/bin/bash
# Runs a Windows program under the Wine of its target, in that target's prefix,
# with code page 936 on the virtual display. CTest uses it as the
# cross-compiling emulator.
# Usage: wine-run.sh [--arch=x86_64|i686] program.exe [args...]
# Without --arch the target is read from the program's own PE header (a 64-bit
# Wine cannot run a 32-bit program, nor the other way round), else $LUMO_ARCH.
source "$(dirname "$0")/env.sh"

# The target of a PE file: its COFF machine field, at the offset that the
# DOS header's word at 0x3c gives, plus 4.
pe_arch() {  # pe_arch FILE
  local pe machine
  pe=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ') || return 1
  [ -n "$pe" ] || return 1
  machine=$(od -An -tx2 -j$((pe + 4)) -N2 "$1" 2>/dev/null | tr -d ' ')
  case "$machine" in
    014c) echo i686 ;;
    8664) echo x86_64 ;;
    *) return 1 ;;
  esac
}

arch=""
case "${1:-}" in
  --arch=*) arch="${1#--arch=}"; shift ;;
esac
if [ -z "$arch" ] && [ -f "${1:-}" ]; then
  arch=$(pe_arch "$1") || arch=""
fi
lumo_use_arch "${arch:-$LUMO_ARCH}" || exit 1
if [ "$LUMO_ARCH" = i686 ] && ! machine_runs_32bit; then
  echo "wine-run: $1 is a 32-bit program and this machine runs 64-bit code only" >&2
  exit 1
fi
start_wine_services
export LC_ALL="$LUMO_WINE_LOCALE"
exec "$LUMO_WINE" "$@"
