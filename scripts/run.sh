#!/usr/bin/env bash
# Sets up and builds what is missing, then starts vorlask from the build
# folder, which holds Ubuntu-R.ttf.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh"
cd "$root/build"
exec ./vorlask
