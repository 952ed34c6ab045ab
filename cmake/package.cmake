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
