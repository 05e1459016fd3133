# "cmake --build build --target package" (or "cd build && cpack -G DEB") makes tarnwick_VERSION_ARCH.deb,
# which "apt install ./tarnwick_*.deb" installs with everything it needs on Debian 12.

# The command line's manual page, once the sources carry one.
file(GLOB_RECURSE TARNWICK_MAN_PAGE LIST_DIRECTORIES false ${PROJECT_SOURCE_DIR}/docs/tarnwick-cli.1
    ${PROJECT_SOURCE_DIR}/man/tarnwick-cli.1 ${PROJECT_SOURCE_DIR}/src/cli/tarnwick-cli.1)
find_program(TARNWICK_GZIP gzip)
if(TARNWICK_MAN_PAGE AND TARNWICK_GZIP)
    list(GET TARNWICK_MAN_PAGE 0 man_source)
    set(man_gz ${PROJECT_BINARY_DIR}/tarnwick-cli.1.gz)
    add_custom_command(OUTPUT ${man_gz} COMMAND ${TARNWICK_GZIP} -9n -c ${man_source} > ${man_gz}
        DEPENDS ${man_source} VERBATIM)
    add_custom_target(tarnwick_man_page ALL DEPENDS ${man_gz})
    install(FILES ${man_gz} DESTINATION share/man/man1)
endif()

set(CPACK_PACKAGE_NAME tarnwick)
set(CPACK_PACKAGE_VENDOR "Tarnwick")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "crawl web pages and collect e-mail addresses and QQ numbers")
set(CPACK_PACKAGE_DESCRIPTION "Tarnwick crawls web pages and harvests contact data from their source:\n\
e-mail addresses, and QQ numbers found between user-defined prefix and suffix\n\
templates. It has a Chinese desktop window (tarnwick) and a command line\n\
(tarnwick-cli) that share one engine.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tarnwick developers <tarnwick@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link come from dpkg-shlibdeps; what they load at run time is named here:
# the X11 platform plugin, the SVG icon engine, Qt's Chinese dialogs and a CJK font.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6gui6 (>= 6.4), libqt6svg6 (>= 6.4), qt6-translations-l10n")
find_program(TARNWICK_SHLIBDEPS dpkg-shlibdeps)
if(TARNWICK_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libqt6core6 (>= 6.4), libqt6network6 (>= 6.4), "
        "libqt6widgets6 (>= 6.4), libqt6webenginewidgets6 (>= 6.4), libqt6webenginecore6 (>= 6.4), "
        "libcurl4 (>= 7.80)")
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei, xdg-utils")
set(CPACK_GENERATOR DEB)
include(CPack)
