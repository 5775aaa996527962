# Shared locations for the project's scripts. Everything that is built or
# downloaded once lives outside the clone, so that fresh clones reuse it.
: "${KOVA_CACHE:=${XDG_CACHE_HOME:-$HOME/.cache}/kova-mcp}"
: "${KOVA_OPENSSL_MINGW:=$KOVA_CACHE/openssl-mingw64}"
: "${WINEPREFIX:=$KOVA_CACHE/wine-prefix}"
: "${KOVA_WINEPREFIX_NO_DAC:=$KOVA_CACHE/wine-prefix-no-dac}"
: "${WINEDEBUG:=-all}"
: "${KOVA_WINE:=/usr/lib/wine/wine64}"
: "${KOVA_WINESERVER:=/usr/lib/wine/wineserver64}"
export KOVA_CACHE KOVA_OPENSSL_MINGW WINEPREFIX KOVA_WINEPREFIX_NO_DAC WINEDEBUG KOVA_WINE KOVA_WINESERVER
# What every MinGW-w64 object of the product is compiled with, libcrypto's
# too: stack cookies (MSVC's /GS is on by default; GCC's is not) and checked
# string and memory calls.
KOVA_MINGW_HARDENING="-fstack-protector-strong -D_FORTIFY_SOURCE=2"
export KOVA_MINGW_HARDENING
# Wine maps file names through the locale's character set: with no locale (a
# plain container, `env -i`, cron) it cannot make or open a name such as
# "Café". A UTF-8 locale the caller has is kept; any other gives way to
# C.UTF-8, which every Debian glibc ships.
if [ "$(locale charmap 2>/dev/null)" != UTF-8 ]; then
  export LC_ALL=C.UTF-8
fi
