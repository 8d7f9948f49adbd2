#!/bin/bash
# The packaging command: builds the Windows installer of the customer display
# for each target with Debian's NSIS (makensis), and writes a SHA-256 sums file
# beside them. Run as root on a fresh machine it first sets up and builds.
#
# Usage: package.sh [options] [ARCH...]          (default: i686 x86_64)
#   --out DIR       where the installers and SHA256SUMS go (default: build/packages)
#   --vendor DIR    package a shop's own node.dll, HPSocket4C.dll and common.dll,
#                   from DIR/ARCH/ when that exists, else from DIR itself,
#                   instead of our stand-ins (default: env LUMO_VENDOR_DIR)
#   --engine headless|chromium
#                   which of our stand-in node.dll to package (default: headless);
#                   chromium, a development engine, only with --allow-development-engine
#   --allow-development-engine
#                   package the Chromium-backed engine all the same
#   --program FILE  the Tarnlumo.exe to package (default: the build's bin/Tarnlumo.exe)
#   --no-build      take the build trees as they are: no set-up, no build
#   --sign FILE.pfx sign (osslsigncode, SHA-256) every program and DLL we build that
#                   the installer carries, the uninstaller and the installer
#   --sign-password-file FILE
#                   the file whose first line is the password of FILE.pfx (the
#                   password itself is never given on a command line)
#   --timestamp-url URL
#                   time-stamp every signature at this RFC 3161 server
#
# Installers: Tarnlumo-VERSION-ARCH[-standins[-chromium]]-setup.exe, VERSION
# read from the packaged program's version resource.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
source "$ROOT/scripts/env.sh"

OUT="$ROOT/build/packages"
VENDOR="${LUMO_VENDOR_DIR:-}"
ENGINE=headless
PROGRAM=""
BUILD=yes
ALLOW_DEVELOPMENT_ENGINE=no
SIGN_PFX=""
SIGN_PASSWORD_FILE=""
TIMESTAMP_URL=""
ARCHS=()
LIBRARIES=(node.dll HPSocket4C.dll common.dll)

say() { echo "package: $*" >&2; }
die() { say "$*"; exit 1; }

while [ $# -gt 0 ]; do
  case "$1" in
    --out) OUT="$2"; shift 2 ;;
    --vendor) VENDOR="$2"; shift 2 ;;
    --engine) ENGINE="$2"; shift 2 ;;
    --program) PROGRAM="$2"; shift 2 ;;
    --no-build) BUILD=no; shift ;;
    --allow-development-engine) ALLOW_DEVELOPMENT_ENGINE=yes; shift ;;
    --sign) SIGN_PFX="$2"; shift 2 ;;
    --sign-password-file) SIGN_PASSWORD_FILE="$2"; shift 2 ;;
    --timestamp-url) TIMESTAMP_URL="$2"; shift 2 ;;
    i686|x86_64) ARCHS+=("$1"); shift ;;
    *) die "unknown argument '$1' (see the head of $0)" ;;
  esac
done
[ ${#ARCHS[@]} -gt 0 ] || ARCHS=(i686 x86_64)
case "$ENGINE" in
  headless) ENGINE_DLL=node.dll ;;
  chromium) ENGINE_DLL=chromium/node.dll ;;
  *) die "--engine $ENGINE: headless or chromium" ;;
esac
# The Chromium-backed engine needs a Chromium the till does not have and is
# meant for development: a till must not get it by a slip of the option.
if [ "$ENGINE" = chromium ] && [ "$ALLOW_DEVELOPMENT_ENGINE" != yes ]; then
  die "--engine chromium is a development engine, not for tills; add --allow-development-engine to package it all the same"
fi
if [ -n "$SIGN_PFX" ]; then
  [ -f "$SIGN_PFX" ] || die "--sign $SIGN_PFX: no such file"
  [ -z "$SIGN_PASSWORD_FILE" ] || [ -f "$SIGN_PASSWORD_FILE" ] \
    || die "--sign-password-file $SIGN_PASSWORD_FILE: no such file"
  command -v osslsigncode >/dev/null || die "osslsigncode is missing (scripts/setup.sh installs it)"
  # For packaging/sign.sh, here and when makensis runs it.
  export LUMO_SIGN_PFX="$(realpath "$SIGN_PFX")"
  export LUMO_SIGN_PASSWORD_FILE=""
  [ -z "$SIGN_PASSWORD_FILE" ] || LUMO_SIGN_PASSWORD_FILE="$(realpath "$SIGN_PASSWORD_FILE")"
  export LUMO_SIGN_TIMESTAMP_URL="$TIMESTAMP_URL"
else
  [ -z "$SIGN_PASSWORD_FILE$TIMESTAMP_URL" ] || die "--sign-password-file and --timestamp-url need --sign"
fi
SIGN="$ROOT/packaging/sign.sh"
[ -z "$PROGRAM" ] || [ ${#ARCHS[@]} -eq 1 ] || die "--program needs exactly one ARCH"
[ -z "$VENDOR" ] || [ -d "$VENDOR" ] || die "--vendor $VENDOR: no such folder"
mkdir -p "$OUT"
OUT="$(cd "$OUT" && pwd)"

build_targets() {  # build_targets ARCH
  local targets=(Tarnlumo lumocheck lumo_runtime_dlls)
  if [ -z "$VENDOR" ]; then
    targets+=(common_standin hpsocket4c)
    if [ "$ENGINE" = chromium ]; then targets+=(node_chromium); else targets+=(node); fi
  fi
  bash "$ROOT/scripts/build.sh" "$1" "${targets[@]}"
}

# Where a library of ARCH comes from: the vendor folder or the build's bin.
library_source() {  # library_source ARCH BIN NAME
  if [ -z "$VENDOR" ]; then
    if [ "$3" = node.dll ]; then echo "$2/$ENGINE_DLL"; else echo "$2/$3"; fi
  elif [ -d "$VENDOR/$1" ]; then
    echo "$VENDOR/$1/$3"
  else
    echo "$VENDOR/$3"
  fi
}

# Copies what a till's program folder holds into STAGE/files and checks that
# every file is built for ARCH (a 32-bit DLL beside a 64-bit program does not load).
stage_files() {  # stage_files ARCH BIN STAGE
  local arch="$1" bin="$2" files="$3/files" name src got
  rm -rf "$3"
  mkdir -p "$files"
  cp "${PROGRAM:-$bin/Tarnlumo.exe}" "$files/Tarnlumo.exe"
  cp "$bin/lumocheck.exe" "$files/"
  for name in $(cat "$bin/runtime-dlls.txt"); do cp "$bin/$name" "$files/"; done
  # What we built carries debug information (RelWithDebInfo) that a till
  # does not need; a shop's own libraries are packaged as they are.
  for name in $(ls "$files"); do "$LUMO_MINGW-strip" --strip-debug "$files/$name"; done
  for name in "${LIBRARIES[@]}"; do
    src="$(library_source "$arch" "$bin" "$name")"
    [ -f "$src" ] || die "$arch: $src is missing"
    cp "$src" "$files/$name"
    [ -n "$VENDOR" ] || "$LUMO_MINGW-strip" --strip-debug "$files/$name"
  done
  for name in $(ls "$files"); do
    got="$(pe_arch "$files/$name")" || die "$arch: $name is no Windows program or DLL"
    [ "$got" = "$arch" ] || die "$arch: $name is built for $got"
  done
}

# Signs what the installer carries of ours: everything staged but a shop's
# own libraries, which keep whatever signature their maker gave them. Then
# checks that each of them holds a signature now.
sign_files() {  # sign_files ARCH STAGE
  local files="$2/files" name lib own=() skip
  for name in $(ls "$files"); do
    skip=no
    if [ -n "$VENDOR" ]; then
      for lib in "${LIBRARIES[@]}"; do [ "$name" != "$lib" ] || skip=yes; done
    fi
    [ "$skip" = yes ] || own+=("$files/$name")
  done
  bash "$SIGN" "${own[@]}" || die "$1: signing failed"
  /usr/bin/python3 "$ROOT/tools/pecheck/pecheck.py" --signatures --require-signed "${own[@]}" >&2 \
    || die "$1: a file is not signed after signing"
}

# The install and uninstall steps of the staged files, for the NSIS script.
write_file_lists() {  # write_file_lists STAGE
  local name
  : >"$1/install-files.nsh"
  : >"$1/uninstall-files.nsh"
  for name in $(ls "$1/files"); do
    echo "File \"$1/files/$name\"" >>"$1/install-files.nsh"
    echo "Delete \"\$INSTDIR\\$name\"" >>"$1/uninstall-files.nsh"
  done
}

installer_name() {  # installer_name VERSION ARCH
  local kind=""
  if [ -z "$VENDOR" ]; then
    kind="-standins"
    [ "$ENGINE" = headless ] || kind="$kind-$ENGINE"
  fi
  echo "Tarnlumo-$1-$2$kind-setup.exe"
}

package() {  # package ARCH: prints the installer's file name (run in a subshell)
  local arch="$1" bin stage version name standins=1
  lumo_use_arch "$arch"
  bin="$LUMO_BUILD/bin"
  stage="$OUT/.stage-$arch"
  stage_files "$arch" "$bin" "$stage"
  [ -z "$SIGN_PFX" ] || sign_files "$arch" "$stage"
  write_file_lists "$stage"
  version="$(/usr/bin/python3 "$ROOT/packaging/exe_version.py" "$stage/files/Tarnlumo.exe")" \
    || die "$arch: cannot read the version of Tarnlumo.exe"
  [ -z "$VENDOR" ] || standins=0
  name="$(installer_name "$version" "$arch")"
  local signing=()
  # makensis signs the uninstaller before it stores it, and the installer once written.
  [ -z "$SIGN_PFX" ] || signing=(-DSIGN_SCRIPT="$SIGN")
  makensis -INPUTCHARSET UTF8 -V2 -DARCH="$arch" -DVERSION="$version" -DSTAGE="$stage" \
    -DOUTFILE="$OUT/$name" -DSTANDINS="$standins" "${signing[@]}" "$ROOT/packaging/lumo.nsi" >&2 \
    || die "$arch: makensis failed"
  if [ -n "$SIGN_PFX" ]; then
    /usr/bin/python3 "$ROOT/tools/pecheck/pecheck.py" --signatures --require-signed "$OUT/$name" >&2 \
      || die "$arch: the installer is not signed"
  fi
  rm -rf "$stage"
  echo "$name"
}

if [ "$BUILD" = yes ]; then
  bash "$ROOT/scripts/setup.sh"
  for arch in "${ARCHS[@]}"; do build_targets "$arch"; done
fi
command -v makensis >/dev/null || die "makensis is missing (scripts/setup.sh installs Debian's nsis)"

NAMES=()
for arch in "${ARCHS[@]}"; do NAMES+=("$(package "$arch")"); done
(cd "$OUT" && sha256sum "${NAMES[@]}" >SHA256SUMS)
for name in "${NAMES[@]}"; do say "$OUT/$name ($(stat -c %s "$OUT/$name") bytes)"; done
say "$OUT/SHA256SUMS"
