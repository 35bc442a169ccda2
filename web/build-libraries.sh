#!/usr/bin/env bash
# Builds FreeType, HarfBuzz, SDL2 and SDL2_ttf for WebAssembly from Debian's
# own source packages, at the very versions the desktop program links, and
# prints the prefix that holds them (include/ and lib/).
#
# The prefix is cached outside the repository, under ~/.cache/vorlask/, keyed
# by the four source versions and the Emscripten version: a second run only
# prints it. The sources come through a private apt state (its own source
# list, lists and cache), so the system's apt configuration is never changed.
set -euo pipefail

cache="${XDG_CACHE_HOME:-$HOME/.cache}/vorlask"
jobs="$(nproc)"
# Debian's Emscripten tools find their JavaScript modules here when the node
# on PATH is not Debian's own.
export NODE_PATH="/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}"

say() { echo "web libraries: $*" >&2; }
die() { say "$*"; exit 1; }

# "package=version" of the source package that built an installed package.
installed_source() {
    local source
    source="$(dpkg-query -W -f='${source:Package}=${source:Version}' "$1" 2>/dev/null)" ||
        die "$1 is not installed; run scripts/setup.sh first"
    echo "$source"
}

sdl="$(installed_source libsdl2-dev)"
ttf="$(installed_source libsdl2-ttf-dev)"
freetype="$(installed_source libfreetype-dev)"
harfbuzz="$(installed_source libharfbuzz-dev)"
emscripten="$(dpkg-query -W -f='${Version}' emscripten 2>/dev/null)" || die "emscripten is not installed"

key="$(echo "$sdl $ttf $freetype $harfbuzz emscripten=$emscripten" | sed 's/ /_/g; s/=/-/g; s/[:~+]/./g')"
prefix="$cache/web-libraries/$key"
if [ -f "$prefix/complete" ]; then
    echo "$prefix"
    exit 0
fi

mkdir -p "$cache/web-libraries"
work="$(mktemp -d "$cache/web-libraries/build.XXXXXX")"
trap 'rm -rf "$work"' EXIT
stage="$work/prefix"
mkdir -p "$stage/include" "$stage/lib"

# A deb-src line for every Debian repository the system takes binaries from.
fetch_sources() {
    local apt="$work/apt"
    mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/parts" "$work/src"
    apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT) $(ORIGIN)' 'Created-By: Packages' |
        awk '$4 == "Debian" { print "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] " $1, $2, $3 }' |
        sort -u >"$apt/sources.list"
    [ -s "$apt/sources.list" ] || die "no Debian repository in the apt configuration"
    local options=(-o "Dir::Etc::SourceList=$apt/sources.list" -o "Dir::Etc::SourceParts=$apt/parts"
                   -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache" -o "APT::Sandbox::User=$(id -un)")
    say "fetching the sources of $sdl $ttf $freetype $harfbuzz"
    apt-get -qq "${options[@]}" update >&2
    (cd "$work/src" && apt-get -qq "${options[@]}" source --download-only "$sdl" "$ttf" "$freetype" "$harfbuzz" >&2) ||
        die "the archive no longer has these versions; upgrade the installed packages and try again"
    # apt checked the files against the archive's signed index; the uploaders'
    # keys that dpkg-source would also look for are not needed for that.
    local dsc
    for dsc in "$work"/src/*.dsc; do
        (cd "$work/src" && dpkg-source -q -x "$dsc" >/dev/null 2>"$work/dpkg-source.log") ||
            die "$(basename "$dsc") did not unpack: $(tail -n 3 "$work/dpkg-source.log")"
    done
}

# The unpacked source folder of "package=version".
source_dir() {
    local package="${1%%=*}" version="${1#*=}"
    version="${version#*:}"
    echo "$work/src/$package-${version%-*}"
}

# Debian builds these with -O2; the same here, with the project's
# floating-point rule.
export CFLAGS="-O2 -ffp-contract=off"
export CXXFLAGS="-O2 -ffp-contract=off"

# Debian's configuration: no bzip2 and no HarfBuzz inside FreeType; the
# zlib, PNG and Brotli support that Debian adds does not touch TrueType
# outlines, so the built-in zlib stands in and the others stay out.
build_freetype() {
    say "building FreeType"
    emcmake cmake -S "$(source_dir "$freetype")" -B "$work/build-freetype" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$stage" -DBUILD_SHARED_LIBS=OFF -DFT_DISABLE_ZLIB=ON -DFT_DISABLE_BZIP2=ON \
        -DFT_DISABLE_PNG=ON -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON >"$work/freetype.log" 2>&1 ||
        die "FreeType did not configure; see $work/freetype.log"
    cmake --build "$work/build-freetype" --target install -j "$jobs" >>"$work/freetype.log" 2>&1 ||
        die "FreeType did not build"
}

# HarfBuzz as one translation unit with its FreeType functions, which is how
# SDL2_ttf uses it; the FreeType functions it may look for all exist in the
# FreeType built above, as Debian's configuration finds them too.
build_harfbuzz() {
    say "building HarfBuzz"
    local source
    source="$(source_dir "$harfbuzz")"
    local defines=(-DHAVE_FREETYPE=1 -DHAVE_FT_GET_VAR_BLEND_COORDINATES=1 -DHAVE_FT_SET_VAR_BLEND_COORDINATES=1
                   -DHAVE_FT_DONE_MM_VAR=1 -DHAVE_FT_GET_TRANSFORM=1 -DHAVE_ATEXIT=1 -DHAVE_PTHREAD=1)
    em++ $CXXFLAGS -std=c++11 -fno-exceptions -fno-rtti "${defines[@]}" -I"$stage/include/freetype2" \
        -c "$source/src/harfbuzz.cc" -o "$work/harfbuzz.o" || die "HarfBuzz did not build"
    emar rcs "$stage/lib/libharfbuzz.a" "$work/harfbuzz.o"
    mkdir -p "$stage/include/harfbuzz"
    cp "$source"/src/hb.h "$source"/src/hb-*.h "$stage/include/harfbuzz/"
}

# SDL2 without threads: a page has none unless it is built for them.
build_sdl() {
    say "building SDL2 (its configuration takes a few minutes)"
    emcmake cmake -S "$(source_dir "$sdl")" -B "$work/build-sdl" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$stage" -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL_THREADS=OFF \
        -DSDL_PTHREADS=OFF >"$work/sdl.log" 2>&1 || die "SDL2 did not configure; see $work/sdl.log"
    cmake --build "$work/build-sdl" --target install -j "$jobs" >>"$work/sdl.log" 2>&1 || die "SDL2 did not build"
}

# SDL2_ttf is one source file; Debian builds it with HarfBuzz, and so must
# this, or kerning differs.
build_sdl_ttf() {
    say "building SDL2_ttf"
    local source
    source="$(source_dir "$ttf")"
    emcc $CFLAGS -DTTF_USE_HARFBUZZ=1 -I"$stage/include/SDL2" -I"$stage/include/freetype2" \
        -I"$stage/include/harfbuzz" -c "$source/SDL_ttf.c" -o "$work/SDL_ttf.o" || die "SDL2_ttf did not build"
    emar rcs "$stage/lib/libSDL2_ttf.a" "$work/SDL_ttf.o"
    cp "$source/SDL_ttf.h" "$stage/include/SDL2/"
}

fetch_sources
build_freetype
build_harfbuzz
build_sdl
build_sdl_ttf
echo "$sdl $ttf $freetype $harfbuzz emscripten=$emscripten" >"$stage/versions"
touch "$stage/complete"
# Another run may have finished first; either prefix is the same.
mv -T "$stage" "$prefix" 2>/dev/null || [ -f "$prefix/complete" ] || die "cannot move the libraries to $prefix"
say "ready in $prefix"
echo "$prefix"
