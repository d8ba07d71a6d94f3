# The Debian package tamo-zp (make package, with CPack): a native package, since the project is
# its own upstream, so its version carries no Debian revision. Included from the top
# CMakeLists.txt when TAMO_DEBIAN_PACKAGE is on; the build is then configured for /usr.
set(TAMO_DEB_NAME tamo-zp)
set(TAMO_DEB_MAINTAINER "Tamo Zephyr Panel authors <tamo-zp@example.org>")
set(TAMO_DEB_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/${TAMO_DEB_NAME})
set(TAMO_DEB_OUT ${PROJECT_BINARY_DIR}/packaging)

# The changelog's latest entry must name the version being packaged.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/changelog top LIMIT_COUNT 1)
if(NOT top MATCHES "^${TAMO_DEB_NAME} \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog begins with \"${top}\": add an entry for ${PROJECT_VERSION}")
endif()

# copyright, in the machine-readable format, from LICENSE: its "Copyright (c)" line, then the
# text below it, each line indented by one space and a blank line written " .".
file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
if(NOT licence MATCHES "Copyright \\(c\\) ([^\n]+)\n+(.*[^\n])\n*$")
  message(FATAL_ERROR "LICENSE: no \"Copyright (c)\" line followed by the licence")
endif()
set(TAMO_COPYRIGHT "${CMAKE_MATCH_1}")
string(REPLACE "\n" "\n " TAMO_LICENCE_TEXT " ${CMAKE_MATCH_2}")
string(REGEX REPLACE "\n \n" "\n .\n" TAMO_LICENCE_TEXT "${TAMO_LICENCE_TEXT}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/copyright.in ${TAMO_DEB_OUT}/copyright @ONLY)

# Debian wants the changelog compressed with gzip -9 and without a time stamp (-n).
add_custom_command(
  OUTPUT ${TAMO_DEB_OUT}/changelog.gz
  COMMAND gzip -9n -c ${CMAKE_CURRENT_LIST_DIR}/changelog > ${TAMO_DEB_OUT}/changelog.gz
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/changelog
  VERBATIM)
add_custom_target(deb_changelog ALL DEPENDS ${TAMO_DEB_OUT}/changelog.gz)
install(FILES ${TAMO_DEB_OUT}/copyright ${TAMO_DEB_OUT}/changelog.gz DESTINATION ${TAMO_DEB_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${TAMO_DEB_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGE_CONTACT ${TAMO_DEB_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The libraries the programs link, as dpkg-shlibdeps reads them. Not what Qt opens at run time:
# the Wayland platform plugin, and a font with the Japanese captions (either one will do).
# Recommended, not required: tamo-clock needs neither, and the windows start without them
# (on X11, through the plugin that Qt's GUI library carries), though with boxes for kanji.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-ipafont-gothic | fonts-noto-cjk, qt6-wayland")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "display-format plug-in and command-line clock for Tamo")
set(CPACK_PACKAGE_DESCRIPTION [=[
Tamo Zephyr Panel expands a clock format written with tokens between
percent signs (%h:nn%, %yyyy%/%m%/%d%, Japanese era names, the moon's
phase, free memory and process slots) into the text a clock shows.

tamo-clock is a command-line clock for status bars and panels (waybar,
polybar, i3blocks, tmux, Xfce, LXQt): it prints the expanded format
once, or keeps running and prints a line at every change, as plain
text, Pango markup or waybar's JSON.

TamoZP is the settings window: it edits the format with a token palette
and a preview, stores it and asks the running clock to reload.
TamoUnZP removes the stored format and the enable flag.]=])
include(CPack)
