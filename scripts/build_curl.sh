#!/bin/bash
# Builds libcurl.dll for one Windows target from Debian's curl source package,
# once, into that target's libcurl folder (reused by every later run), with the
# MinGW runtime DLLs it imports beside it.
# Usage: build_curl.sh [x86_64|i686]   (default: $LUMO_ARCH)
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
source "$ROOT/scripts/env.sh"
lumo_use_arch "${1:-$LUMO_ARCH}"
OUT="$LUMO_CURL_DIR"
[ -f "$OUT/bin/libcurl.dll" ] && exit 0
echo "build_curl: building libcurl for $LUMO_ARCH Windows (about 2 minutes)" >&2
SRC_LIST=/etc/apt/sources.list.d/lumo-src.sources
if [ ! -f "$SRC_LIST" ]; then
  cat > "$SRC_LIST" <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  update_package_lists
fi
WORK="$LUMO_CACHE/curl-src-$LUMO_ARCH"
rm -rf "$WORK" "$OUT"; mkdir -p "$WORK"
cd "$WORK"
apt-get source -qq curl >/dev/null 2>&1
cd "$(find . -maxdepth 1 -type d -name 'curl-*' | head -1)"
# libtool converts paths for Windows with winepath, which would start Wine and
# create a Wine prefix as a side effect of a build; the DLL needs no such
# conversion, so that step is made to fail and is skipped.
mkdir -p "$WORK/no-wine"
printf '#!/bin/sh\nexit 1\n' >"$WORK/no-wine/winepath"
chmod +x "$WORK/no-wine/winepath"
export PATH="$WORK/no-wine:$PATH"
# configure and make are noisy; their output goes to a log that is shown only
# when they fail.
BUILD_LOG="$WORK/build.log"
quietly() {  # quietly COMMAND...
  "$@" >>"$BUILD_LOG" 2>&1 || { tail -40 "$BUILD_LOG" >&2; echo "build_curl: failed: $*" >&2; exit 1; }
}
quietly ./configure --host="$LUMO_MINGW" --prefix="$OUT" \
  CC="$LUMO_MINGW-gcc-posix" \
  --with-schannel --enable-websockets --disable-ldap --disable-manual \
  --without-libpsl --without-zstd --without-brotli --without-libidn2 --without-nghttp2 \
  --enable-shared --disable-static
quietly make -j"$(nproc)"
quietly make install
cp "$OUT/bin/libcurl-4.dll" "$OUT/bin/libcurl.dll"
# The MinGW runtime DLLs differ by target (i686 needs libgcc_s_dw2-1.dll and
# libwinpthread-1.dll, x86-64 only libwinpthread-1.dll): take what the DLL
# itself imports and the MinGW tree of its target has (posix thread model).
for dll in $("$LUMO_MINGW-objdump" -p "$OUT/bin/libcurl.dll" | sed -n 's/^\s*DLL Name: //p'); do
  # System DLLs (KERNEL32.dll, ...) are not in the MinGW tree: nothing to copy.
  f=$(find "/usr/lib/gcc/$LUMO_MINGW" "/usr/$LUMO_MINGW" -name "$dll" 2>/dev/null | grep -v win32 | head -1 || true)
  if [ -n "$f" ]; then cp "$f" "$OUT/bin/"; fi
done
rm -rf "$WORK"
echo "build_curl: done, $OUT/bin/libcurl.dll" >&2
