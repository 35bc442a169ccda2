#!/usr/bin/env bash
# Installing: cmake --install into a scratch prefix gives a launcher that
# starts the program in its own folder from anywhere, so it draws what the
# build's program draws with the font beside it; the desktop entry, the icon
# and the manual pages are valid. cpack makes a Debian package of the
# project's version whose Depends name SDL2 and SDL2_ttf and that lintian
# finds no error in. The build folder is the program's folder.
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh" "$@"
BUILD="$(dirname "$PROGRAM")"
PREFIX="$WORKDIR/prefix"

cmake --install "$BUILD" --prefix "$PREFIX" >"$WORKDIR/install.log" 2>&1 || fail "cmake --install: $(tail -n 5 "$WORKDIR/install.log")"

# The desktop entry validates and names the installed launcher and icon.
entry="$PREFIX/share/applications/vorlask.desktop"
report="$(desktop-file-validate "$entry" 2>&1)" || fail "desktop-file-validate: $report"
[ -z "$report" ] || fail "desktop-file-validate: $report"
exec_name="$(sed -n 's/^Exec=//p' "$entry")"
icon_name="$(sed -n 's/^Icon=//p' "$entry")"
[ -x "$PREFIX/bin/$exec_name" ] || fail "Exec=$exec_name is not an installed command"
icon="$PREFIX/share/icons/hicolor/scalable/apps/$icon_name.svg"
rsvg-convert -w 48 -h 48 "$icon" -o "$WORKDIR/icon.png" || fail "icon $icon does not render"
[ "$(size_of "$WORKDIR/icon.png")" = "48x48" ] || fail "icon renders at $(size_of "$WORKDIR/icon.png")"

# Both manual pages render without a warning and carry the one version.
version="$("$PREFIX/bin/vorlask-cli" --version | sed -n 's/^vorlask-cli //p')"
[ -n "$version" ] || fail "installed vorlask-cli prints no version"
for page in vorlask vorlask-cli; do
    text="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$PREFIX/share/man/man1/$page.1.gz" 2>"$WORKDIR/man.err")" ||
        fail "man $page: $(head -n 3 "$WORKDIR/man.err")"
    [ ! -s "$WORKDIR/man.err" ] || fail "man $page: $(head -n 3 "$WORKDIR/man.err")"
    grep -q "^$page $version " <<<"$text" || fail "man $page does not name version $version"
done

# The build's program with the font in its working directory, then the
# installed launcher, reached through a link on PATH, from a directory
# without the font: the same first frame, pixel for pixel.
start_x
start_app
screenshot "$WORKDIR/build-run.png"
key Escape
expect_exit 0
mkdir "$WORKDIR/links"
ln -s "$PREFIX/bin/vorlask" "$WORKDIR/links/vorlask"
PATH="$WORKDIR/links:$PATH"
PROGRAM=vorlask
start_app nofont
screenshot "$WORKDIR/installed-run.png"
grep -q "TTF_OpenFont" "$WORKDIR/stdout.txt" && fail "the installed program did not find its font"
differing="$(compare -metric AE "$WORKDIR/build-run.png" "$WORKDIR/installed-run.png" null: 2>&1 | cut -d' ' -f1)" || true
[ "$differing" = 0 ] || fail "the installed program's first frame differs in $differing pixels"
key Escape
expect_exit 0

# The Debian package: its name, version, Depends, files and lintian's errors.
cpack -G DEB --config "$BUILD/CPackConfig.cmake" -B "$WORKDIR/package" >"$WORKDIR/cpack.log" 2>&1 ||
    fail "cpack: $(tail -n 5 "$WORKDIR/cpack.log")"
deb="$WORKDIR/package/vorlask_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no package $(basename "$deb"): $(ls "$WORKDIR/package")"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version $(dpkg-deb -f "$deb" Version), program $version"
depends="$(dpkg-deb -f "$deb" Depends)"
echo "Depends: $depends"
for library in libsdl2-2.0-0 libsdl2-ttf-2.0-0 libstdc++6; do
    grep -q "\b$library (>= " <<<"$depends" || fail "Depends lacks $library"
done
dpkg-deb -c "$deb" | awk '{print $1, $NF}' >"$WORKDIR/contents.txt"
for entry in "-rwxr-xr-x ./usr/bin/vorlask" "-rwxr-xr-x ./usr/bin/vorlask-cli" \
             "-rwxr-xr-x ./usr/lib/vorlask/vorlask" "-rw-r--r-- ./usr/lib/vorlask/Ubuntu-R.ttf" \
             "-rw-r--r-- ./usr/lib/vorlask/font-licence.txt" \
             "-rw-r--r-- ./usr/share/applications/vorlask.desktop" \
             "-rw-r--r-- ./usr/share/icons/hicolor/scalable/apps/vorlask.svg" \
             "-rw-r--r-- ./usr/share/man/man1/vorlask.1.gz" "-rw-r--r-- ./usr/share/man/man1/vorlask-cli.1.gz" \
             "-rw-r--r-- ./usr/share/doc/vorlask/copyright" "-rw-r--r-- ./usr/share/doc/vorlask/changelog.gz" \
             "-rw-r--r-- ./usr/share/doc/vorlask/examples/ring12.txt"; do
    grep -qxF -- "$entry" "$WORKDIR/contents.txt" || fail "package lacks $entry"
done
# With the Python module: the package carries it where Debian's python3 looks,
# and depends on the Python it was built for, numpy and scipy.
if grep -q '^VORLASK_PYTHON:BOOL=ON' "$BUILD/CMakeCache.txt"; then
    for package in "python3 (>= " "python3 (<< " python3-numpy python3-scipy; do
        grep -qF "$package" <<<"$depends" || fail "Depends lacks $package"
    done
    extension="$(basename "$(ls "$BUILD"/python/vorlask/_vorlask*.so)")"
    for file in __init__.py __init__.pyi _sweeps.py py.typed "$extension"; do
        grep -qxF -- "-rw-r--r-- ./usr/lib/python3/dist-packages/vorlask/$file" "$WORKDIR/contents.txt" ||
            fail "package lacks the Python module's $file"
    done
fi
# The manual pages say where the examples are.
for page in vorlask vorlask-cli; do
    dpkg-deb --fsys-tarfile "$deb" | tar -xO "./usr/share/man/man1/$page.1.gz" | gzip -d |
        grep -q 'share/doc/vorlask/examples/' || fail "$page(1) does not name the examples' folder"
done
lintian "$deb" >"$WORKDIR/lintian.txt" 2>&1 || true
cat "$WORKDIR/lintian.txt"
grep -q "^E: " "$WORKDIR/lintian.txt" && fail "lintian reports errors"
echo "install end-to-end: ok"
