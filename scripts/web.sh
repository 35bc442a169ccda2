#!/usr/bin/env bash
# Builds the page into build-web/, a static folder (index.html, the
# JavaScript loader, the .wasm, the font data, the key table and the icon)
# that any static web host serves; its objects go to build-wasm/. The first
# run builds SDL2, SDL2_ttf, FreeType and HarfBuzz for the web from Debian's
# sources (several minutes); they are cached under ~/.cache/vorlask/.
#   ./scripts/web.sh           build
#   ./scripts/web.sh --serve   build, then serve it on http://127.0.0.1:8000/
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
serve=false
case "${1:-}" in
    "") ;;
    --serve) serve=true ;;
    *) echo "usage: $0 [--serve]" >&2; exit 2 ;;
esac

"$root/scripts/setup.sh" --web >&2
# Debian's Emscripten tools find their JavaScript modules here when the node
# on PATH is not Debian's own.
export NODE_PATH="/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}"
libraries="$("$root/web/build-libraries.sh")"

emcmake cmake -S "$root" -B "$root/build-wasm" -DCMAKE_BUILD_TYPE=Release \
    -DVORLASK_WEB_LIBRARIES="$libraries" -DVORLASK_PAGE_DIR="$root/build-web" \
    -DVORLASK_FONT_FILE="$root/.cache/fonts/Ubuntu-R.ttf" >/dev/null
cmake --build "$root/build-wasm" -j "$(nproc)"

if $serve; then
    echo "serving $root/build-web on http://127.0.0.1:8000/ (Ctrl+C ends it)"
    exec python3 "$root/scripts/serve-page.py" "$root/build-web" 8000
fi
