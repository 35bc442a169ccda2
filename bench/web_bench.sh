#!/usr/bin/env bash
# The page beside the desktop program, in one run: the median frame time of
# 21 fully linked nodes at run speed 8 over 300 frames drawn in the page
# (headless Chromium) against bench/frame_bench's BM_Frame21 median, the time
# from loading the page on 127.0.0.1 to its first frame (median of 5 cold
# loads), and what a browser transfers, plain and gzip-compressed.
#   bench/web_bench.sh [BUILD_DIR [PAGE_DIR]]   (build/ and build-web/ by default)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"
page="${2:-$root/build-web}"
export VORLASK_NODE_MODULES="${XDG_CACHE_HOME:-$HOME/.cache}/vorlask/node/node_modules"
export VORLASK_CHROMIUM="${VORLASK_CHROMIUM:-/usr/lib/chromium/chromium}"

desktop_ms="$("$build/bench/frame_bench" --benchmark_filter='BM_Frame21$' --benchmark_repetitions=5 \
    --benchmark_report_aggregates_only=true --benchmark_format=json |
    python3 -c 'import json, sys
runs = json.load(sys.stdin)["benchmarks"]
print(next(r["real_time"] for r in runs if r.get("aggregate_name") == "median") / 1000.0)')"
page_json="$(node "$root/bench/web_bench.js" "$page" 5 300)"
transfer=("$page/vorlask.js" "$page/vorlask.wasm" "$page/vorlask.data")
bytes=$(cat "${transfer[@]}" | wc -c)
compressed=$(for file in "${transfer[@]}"; do gzip -9 -c "$file"; done | wc -c)

python3 - "$desktop_ms" "$page_json" "$bytes" "$compressed" <<'PY'
import json, sys
desktop = float(sys.argv[1])
page = json.loads(sys.argv[2])
print(f"frame, 21 nodes fully linked at speed 8: page {page['medianFrameMs']:.3f} ms (median of {page['frames']}), "
      f"desktop {desktop:.3f} ms (frame_bench BM_Frame21 median), ratio {page['medianFrameMs'] / desktop:.2f}")
print(f"first frame after loading: {page['firstFrameMs']:.0f} ms (median; loads {', '.join(f'{t:.0f}' for t in page['firstFramesMs'])} ms)")
print(f"transfer: {int(sys.argv[3])} bytes, {int(sys.argv[4])} gzip-compressed")
PY
