# Installation and the Debian package. Included from the top-level
# CMakeLists.txt after the vorlask and vorlask-cli targets.
#
#   cmake --install build --prefix P     installs into P
#   (cd build && cpack -G DEB)            makes vorlask_<version>_<arch>.deb for /usr
#
# The program opens "Ubuntu-R.ttf" from its working directory, so it lives
# with the font in a folder of its own, and P/bin/vorlask is a launcher that
# starts it there. vorlask-cli reads no files and goes to P/bin directly.

include(GNUInstallDirs)

# A private folder for the program and its font, like other programs' helpers
# under /usr/lib/<name>; not CMAKE_INSTALL_LIBDIR, which holds no program and
# becomes a multiarch path when the prefix is /usr.
set(VORLASK_INSTALL_APPDIR "lib/${PROJECT_NAME}")
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(VORLASK_FONT_LICENCE_FILE "${PROJECT_SOURCE_DIR}/.cache/fonts/font-licence.txt"
  CACHE FILEPATH "Licence of the TrueType face, installed beside it")
set(VORLASK_MAINTAINER "Seed 50ca7563 maintainers <maintainers@users.noreply.c-seed-50ca7563.example>"
  CACHE STRING "Maintainer named in the Debian package and its changelog")

set(packaging_src "${CMAKE_CURRENT_LIST_DIR}")
set(packaging_out "${CMAKE_BINARY_DIR}/packaging")
find_program(HELP2MAN help2man REQUIRED)
find_program(GZIP gzip REQUIRED)

# The launcher finds the program's folder relative to its own location.
cmake_path(RELATIVE_PATH VORLASK_INSTALL_APPDIR BASE_DIRECTORY "${CMAKE_INSTALL_BINDIR}"
  OUTPUT_VARIABLE VORLASK_LAUNCHER_TO_APPDIR)
configure_file("${packaging_src}/launcher.sh.in" "${packaging_out}/launcher/vorlask" @ONLY)

install(TARGETS vorlask RUNTIME DESTINATION "${VORLASK_INSTALL_APPDIR}")
install(PROGRAMS "${packaging_out}/launcher/vorlask" DESTINATION "${CMAKE_INSTALL_BINDIR}")
install(TARGETS vorlask-cli RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")

if(EXISTS "${VORLASK_FONT_FILE}" AND EXISTS "${VORLASK_FONT_LICENCE_FILE}")
  install(FILES "${VORLASK_FONT_FILE}" DESTINATION "${VORLASK_INSTALL_APPDIR}" RENAME Ubuntu-R.ttf)
  install(FILES "${VORLASK_FONT_LICENCE_FILE}" DESTINATION "${VORLASK_INSTALL_APPDIR}" RENAME font-licence.txt)
  file(READ "${VORLASK_FONT_LICENCE_FILE}" font_licence_text)
else()
  message(WARNING "The font or its licence is missing (${VORLASK_FONT_FILE}, ${VORLASK_FONT_LICENCE_FILE}); "
    "scripts/setup.sh obtains both. The installed program will draw no text.")
  set(font_licence_text "(missing)\n")
endif()

install(FILES "${packaging_src}/vorlask.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
install(FILES "${packaging_src}/vorlask.svg" DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps")

# Manual pages and the changelog, gzipped as Debian wants them. The page of
# vorlask-cli comes from its --help, so it follows the real options.
configure_file("${packaging_src}/vorlask.1.in" "${packaging_out}/vorlask.1" @ONLY)
add_custom_command(OUTPUT "${packaging_out}/vorlask-cli.1"
  COMMAND "${HELP2MAN}" --no-info "--version-string=${PROJECT_VERSION}"
          "--include=${packaging_src}/vorlask-cli.h2m"
          "--name=command-line companion of vorlask: analyses, data files, plots, simulations and sweeps"
          "--output=${packaging_out}/vorlask-cli.1" "$<TARGET_FILE:vorlask-cli>"
  DEPENDS vorlask-cli "${packaging_src}/vorlask-cli.h2m"
  VERBATIM)

# The changelog's date is the source's last commit, or SOURCE_DATE_EPOCH, so
# that configuring again writes the same file rather than a new one each time.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git -C "${PROJECT_SOURCE_DIR}" log -1 --format=%ct
    OUTPUT_VARIABLE vorlask_source_date OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE vorlask_git)
  if(vorlask_git EQUAL 0 AND vorlask_source_date MATCHES "^[0-9]+$")
    set(ENV{SOURCE_DATE_EPOCH} "${vorlask_source_date}")
  endif()
endif()
string(TIMESTAMP VORLASK_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file("${packaging_src}/changelog.in" "${packaging_out}/changelog" @ONLY)

set(gzipped_files)
foreach(name vorlask.1 vorlask-cli.1 changelog)
  add_custom_command(OUTPUT "${packaging_out}/${name}.gz"
    COMMAND "${GZIP}" -9nkf "${packaging_out}/${name}"
    DEPENDS "${packaging_out}/${name}"
    VERBATIM)
  list(APPEND gzipped_files "${packaging_out}/${name}.gz")
endforeach()
add_custom_target(vorlask_packaging_files ALL DEPENDS ${gzipped_files})
install(FILES "${packaging_out}/vorlask.1.gz" "${packaging_out}/vorlask-cli.1.gz"
  DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")

# The copyright file: the project's header, then the font's licence verbatim.
file(READ "${packaging_src}/copyright.in" copyright_template)
string(CONFIGURE "${copyright_template}" copyright_header @ONLY)
file(WRITE "${packaging_out}/copyright" "${copyright_header}${font_licence_text}")
install(FILES "${packaging_out}/copyright" "${packaging_out}/changelog.gz" DESTINATION "${CMAKE_INSTALL_DOCDIR}")
# Networks to try the command and the module on, where Debian keeps examples.
install(DIRECTORY "${PROJECT_SOURCE_DIR}/docs/examples/" DESTINATION "${CMAKE_INSTALL_DOCDIR}/examples"
  FILES_MATCHING PATTERN "*.txt")

# The Debian package: one version, the project's; Depends from dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME "${PROJECT_NAME}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VORLASK_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "explore a randomized pairing process on small networks")
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Edit the links between N nodes, set three probabilities per node with"
  "sliders, run the process one step, 10000 steps or continuously, and watch"
  "partners, pointers and success rates in a matrix view and a graph view."
  "An exact Markov-chain analysis of the process is written to standard"
  "output. The package also holds vorlask-cli, the command-line companion,"
  "and the Python module vorlask, which hands the analysis to numpy and scipy.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(VORLASK_PYTHON)
  # The extension is built for one Python version, as dh_python3 would say;
  # numpy and scipy are the arrays it hands out. dpkg-shlibdeps adds the rest.
  math(EXPR vorlask_next_python_minor "${Python3_VERSION_MINOR} + 1")
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "python3 (>= ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}~), python3 (<< ${Python3_VERSION_MAJOR}.${vorlask_next_python_minor}), python3-numpy, python3-scipy")
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
