#!/bin/bash
# Runs a Windows program under the project's Wine prefix with code page 936 on
# the virtual display. CTest uses it as the cross-compiling emulator.
source "$(dirname "$0")/env.sh"
start_wine_services
export LC_ALL="$LUMO_WINE_LOCALE"
exec wine "$@"
