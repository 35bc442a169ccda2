#!/usr/bin/env bash
# Sets up what is missing, then builds and runs the whole suite: the unit tests
# under AddressSanitizer and UndefinedBehaviorSanitizer, then the Release build's
# unit and end-to-end tests, the page's among them (built here by web.sh).
# Ends with CTest's summary.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh" --web --browser
jobs="$(nproc)"

cmake -S "$root" -B "$root/build-sanitize" -DCMAKE_BUILD_TYPE=Debug -DVORLASK_SANITIZE=ON >/dev/null
cmake --build "$root/build-sanitize" -j "$jobs"
(cd "$root/build-sanitize" && ctest --output-on-failure -j "$jobs")

"$root/scripts/web.sh"
cmake --build "$root/build" -j "$jobs"
cd "$root/build"
ctest --output-on-failure
