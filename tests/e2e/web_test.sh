#!/usr/bin/env bash
# The page against the desktop program: the session of tests/web/session.txt
# played here by xdotool, with a screenshot at every checkpoint and the A
# key's output at the end; then tests/web/page_test.js plays it in the page
# in headless Chromium, served on 127.0.0.1, and compares. The page comes from
# ./scripts/web.sh (build-web/, or $VORLASK_PAGE_DIR). Exits 77, with the
# reason, only when Chromium cannot start at all.
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh" "$@"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
page_dir="${VORLASK_PAGE_DIR:-$root/build-web}"
session="$root/tests/web/session.txt"
cli="$(dirname "$PROGRAM")/vorlask-cli"
export VORLASK_NODE_MODULES="${XDG_CACHE_HOME:-$HOME/.cache}/vorlask/node/node_modules"
export VORLASK_CHROMIUM="${VORLASK_CHROMIUM:-/usr/lib/chromium/chromium}"
artifacts="${E2E_ARTIFACTS:-$WORKDIR/artifacts}/web"

[ -s "$page_dir/vorlask.wasm" ] || fail "no page in $page_dir: build it with ./scripts/web.sh"
[ -d "$VORLASK_NODE_MODULES/puppeteer-core" ] || fail "no puppeteer-core: ./scripts/setup.sh --browser installs it"
[ -x "$VORLASK_CHROMIUM" ] || fail "no Chromium at $VORLASK_CHROMIUM: ./scripts/setup.sh --browser installs it"
[ -x "$cli" ] || fail "no vorlask-cli beside $PROGRAM"
mkdir -p "$artifacts"

# What a browser downloads: the loader, the WebAssembly and the font data.
transfer=("$page_dir/vorlask.js" "$page_dir/vorlask.wasm" "$page_dir/vorlask.data")
bytes=$(cat "${transfer[@]}" | wc -c)
compressed=$(for file in "${transfer[@]}"; do gzip -9 -c "$file"; done | wc -c)
echo "transfer: $bytes bytes, $compressed gzip-compressed"
[ "$bytes" -le 3500000 ] || fail "the page transfers $bytes bytes, more than 3.5 MB"
[ "$compressed" -le 1500000 ] || fail "the page transfers $compressed bytes compressed, more than 1.5 MB"

start_x
start_app
desktop="$WORKDIR/desktop"
mkdir -p "$desktop"
checkpoint() {
    settle 0.3
    screenshot "$desktop/desktop-$1.png"
    convert "$desktop/desktop-$1.png" -depth 8 "rgb:$desktop/desktop-$1.rgb"
}
while read -r command a b c d <&4; do
    case "$command" in
        drag) drag "$a" "$b" "$c" "$d" ;;
        click) click "$a" "$b" "$c" ;;
        key) for _ in $(seq "${b:-1}"); do key "$a"; done ;;
        checkpoint) checkpoint "$a" ;;
        "" | "#"*) ;;
        *) fail "unknown session command: $command" ;;
    esac
done 4<"$session"
key a
# The analysis is written in one go; wait until its output stops growing.
size=-1
for _ in $(seq 100); do
    settle 0.3
    now=$(wc -c <"$WORKDIR/stdout.txt")
    [ "$now" -gt 0 ] && [ "$now" = "$size" ] && break
    size=$now
done
key Escape
expect_exit 0
mv "$WORKDIR/stdout.txt" "$desktop/stdout.txt"

status=0
node "$root/tests/web/page_test.js" "$page_dir" "$session" "$desktop" "$cli" "$WORKDIR" "$artifacts" || status=$?
[ "$status" = 77 ] && exit 77
[ "$status" = 0 ] || fail "the page differs from the desktop program (pictures in $artifacts)"
echo "web end-to-end: ok"
