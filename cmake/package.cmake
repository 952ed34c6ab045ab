# The Debian package that scripts/package builds with cpack: what
# `cmake --install` installs, under /usr, with Depends read from the
# binaries' shared libraries by dpkg-shlibdeps rather than written by hand.

# Who answers for the package; its homepage is OSTREL_HOMEPAGE (res/).
set(OSTREL_MAINTAINER "Kelvane <ostrel@kelvane.example>" CACHE STRING
    "Maintainer of the Debian package: name <address>")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ostrel)
set(CPACK_PACKAGE_VENDOR Kelvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The first packaging of this version: its changelog is changelog.Debian.gz.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "moving map for a GPS receiver")
set(CPACK_PACKAGE_DESCRIPTION
    "Ostrel reads NMEA 0183 sentences from a GPS receiver on a serial port and
shows the position on a built-in world map, on scanned maps that you
calibrate with two right-clicks, and in a text panel of the fix. On a
calibrated map the status line reads out the longitude and latitude under
the mouse pointer and the route travelled can be drawn as a line.

The package also holds nmea-replay, which plays a recorded NMEA log on a
pseudo-terminal the way a receiver sends it, to try Ostrel without one.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${OSTREL_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${OSTREL_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)

# What Debian policy asks of every package: the copyright file and the
# changelog (gzip -n keeps the build reproducible, as for the manual pages),
# and the reasons for the lintian tags that do not apply to this one.
set(OSTREL_DEBIAN_VERSION ${CPACK_PACKAGE_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
set(OSTREL_DEBIAN_DIR ${PROJECT_BINARY_DIR}/debian)
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/copyright.in ${OSTREL_DEBIAN_DIR}/copyright @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in ${OSTREL_DEBIAN_DIR}/changelog @ONLY)
add_custom_command(OUTPUT ${OSTREL_DEBIAN_DIR}/changelog.gz
                   COMMAND ${OSTREL_GZIP} -9 -n -f -k changelog
                   DEPENDS ${OSTREL_DEBIAN_DIR}/changelog
                   WORKING_DIRECTORY ${OSTREL_DEBIAN_DIR}
                   VERBATIM)
add_custom_target(debian_changelog ALL DEPENDS ${OSTREL_DEBIAN_DIR}/changelog.gz)
install(FILES ${OSTREL_DEBIAN_DIR}/copyright DESTINATION share/doc/ostrel)
install(FILES ${OSTREL_DEBIAN_DIR}/changelog.gz DESTINATION share/doc/ostrel
        RENAME changelog.Debian.gz)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/lintian-overrides
        DESTINATION share/lintian/overrides RENAME ostrel)
