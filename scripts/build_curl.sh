#!/bin/bash
# Builds libcurl.dll for 32-bit Windows from Debian's curl source package, once,
# into $LUMO_CACHE/curl-win32 (reused by every later run).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
source "$ROOT/scripts/env.sh"
OUT="$LUMO_CACHE/curl-win32"
[ -f "$OUT/bin/libcurl.dll" ] && exit 0
echo "build_curl: building libcurl for Windows (about 2 minutes)" >&2
SRC_LIST=/etc/apt/sources.list.d/lumo-src.sources
if [ ! -f "$SRC_LIST" ]; then
  cat > "$SRC_LIST" <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  apt-get update -qq >/dev/null
fi
WORK="$LUMO_CACHE/curl-src"
rm -rf "$WORK"; mkdir -p "$WORK"
cd "$WORK"
apt-get source -qq curl >/dev/null 2>&1
cd "$(find . -maxdepth 1 -type d -name 'curl-*' | head -1)"
./configure -q --host=i686-w64-mingw32 --prefix="$OUT" \
  CC=i686-w64-mingw32-gcc-posix \
  --with-schannel --enable-websockets --disable-ldap --disable-manual \
  --without-libpsl --without-zstd --without-brotli --without-libidn2 --without-nghttp2 \
  --enable-shared --disable-static >/dev/null
make -s -j"$(nproc)" >/dev/null 2>&1
make -s install >/dev/null 2>&1
cp "$OUT/bin/libcurl-4.dll" "$OUT/bin/libcurl.dll"
for dll in libgcc_s_dw2-1.dll libwinpthread-1.dll; do
  f=$(find /usr/lib/gcc/i686-w64-mingw32 /usr/i686-w64-mingw32 -name "$dll" 2>/dev/null | grep -v win32 | head -1)
  cp "$f" "$OUT/bin/"
done
rm -rf "$WORK"
echo "build_curl: done, $OUT/bin/libcurl.dll" >&2
