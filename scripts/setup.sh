#!/usr/bin/env bash
# Installs what building and testing vorlask need on Debian 12, obtains the
# font, and builds the Release programs, their manual pages and the Python
# module in build/.
# Idempotent: a machine that has everything only gets an incremental build.
#   --web      also what the page needs (Emscripten, Debian's source tools)
#   --browser  also what the page's tests need (Chromium, and puppeteer-core
#              from npm under ~/.cache/vorlask/node/)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
web=false
browser=false
for argument in "$@"; do
    case "$argument" in
        --web) web=true ;;
        --browser) browser=true ;;
        *) echo "usage: $0 [--web] [--browser]" >&2; exit 2 ;;
    esac
done

packages=(g++ cmake make pkg-config libsdl2-dev libsdl2-ttf-dev googletest libgtest-dev libbenchmark-dev
          libcli11-dev nlohmann-json3-dev libeigen3-dev libnlopt-cxx-dev libboost-dev
          xvfb xauth xdotool imagemagick x11-utils libgl1-mesa-dri fonts-dejavu-core python3-scipy librsvg2-bin
          help2man desktop-file-utils dpkg-dev file lintian
          pybind11-dev python3-pybind11 python3-dev python3-numpy python3-pytest python3-matplotlib)

install_missing_packages() {
    local missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "setup: installing ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# The Ubuntu Regular face comes from the npm registry; without it, DejaVu Sans
# stands in under the same name. The licence of the face actually used is kept
# beside it, for installation.
obtain_font() {
    local font="$root/.cache/fonts/Ubuntu-R.ttf" licence="$root/.cache/fonts/font-licence.txt"
    [ -s "$font" ] && [ -s "$licence" ] && return 0
    mkdir -p "$(dirname "$font")"
    command -v npm >/dev/null 2>&1 || install_missing_packages npm || true
    local work why="" status=0
    work="$(mktemp -d)"
    if command -v npm >/dev/null 2>&1; then
        (cd "$work" && timeout 120 npm pack --loglevel=error @expo-google-fonts/ubuntu >/dev/null 2>"$work/npm.err") || status=$?
        [ "$status" = 124 ] && why="npm gave no answer within 120 s"
    else
        why="npm is not installed"
    fi
    if [ -z "$why" ] &&
       tar -xzf "$work"/*.tgz -C "$work" package/400Regular/Ubuntu_400Regular.ttf package/LICENSE_FONT 2>/dev/null; then
        cp "$work/package/400Regular/Ubuntu_400Regular.ttf" "$font"
        cp "$work/package/LICENSE_FONT" "$licence"
        echo "setup: font Ubuntu Regular from the npm package @expo-google-fonts/ubuntu"
    else
        # npm's own reason (a certificate, a proxy, no network), not a guess.
        [ -n "$why" ] || why="$(grep -i '^npm err' "$work/npm.err" 2>/dev/null |
                                 grep -m1 -viE '^npm err[a-z!]* +(code|syscall|errno|A complete log)' || true)"
        [ -n "$why" ] || why="$(grep -m1 . "$work/npm.err" 2>/dev/null || true)"
        [ -n "$why" ] || why="the package held no Ubuntu Regular face"
        cp /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf "$font"
        cp /usr/share/doc/fonts-dejavu-core/copyright "$licence"
        echo "setup: no font from npm ($why); using DejaVu Sans as Ubuntu-R.ttf instead"
    fi
    rm -rf "$work"
}

# The page's tests drive Chromium with puppeteer-core, at the version that
# tests/web/package.json pins, kept outside the repository.
install_puppeteer() {
    local folder="${XDG_CACHE_HOME:-$HOME/.cache}/vorlask/node" version
    version="$(sed -n 's/.*"puppeteer-core": *"\([^"]*\)".*/\1/p' "$root/tests/web/package.json")"
    grep -qs "\"version\": \"$version\"" "$folder/node_modules/puppeteer-core/package.json" && return 0
    echo "setup: installing puppeteer-core $version in $folder"
    command -v npm >/dev/null 2>&1 || install_missing_packages npm
    mkdir -p "$folder"
    cp "$root/tests/web/package.json" "$folder/package.json"
    (cd "$folder" && timeout 300 npm install --silent --no-audit --no-fund --no-package-lock) ||
        { echo "setup: puppeteer-core could not be installed from the npm registry" >&2; return 1; }
}

$web && packages+=(emscripten dpkg-dev)
$browser && packages+=(chromium)
install_missing_packages "${packages[@]}"
obtain_font
if $browser; then install_puppeteer; fi

cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
targets=(vorlask vorlask-cli vorlask_packaging_files)
grep -q '^VORLASK_PYTHON:BOOL=ON' "$root/build/CMakeCache.txt" && targets+=(_vorlask)
cmake --build "$root/build" --target "${targets[@]}" -j "$(nproc)"
