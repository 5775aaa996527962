# Shared locations for the project's scripts. Everything that is built or
# downloaded once lives outside the clone, so that fresh clones reuse it.
: "${KOVA_CACHE:=${XDG_CACHE_HOME:-$HOME/.cache}/kova-mcp}"
: "${KOVA_OPENSSL_MINGW:=$KOVA_CACHE/openssl-mingw64}"
: "${WINEPREFIX:=$KOVA_CACHE/wine-prefix}"
: "${WINEDEBUG:=-all}"
: "${KOVA_WINE:=/usr/lib/wine/wine64}"
: "${KOVA_WINESERVER:=/usr/lib/wine/wineserver64}"
export KOVA_CACHE KOVA_OPENSSL_MINGW WINEPREFIX WINEDEBUG KOVA_WINE KOVA_WINESERVER
