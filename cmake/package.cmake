# The Debian package (CPack DEB) of everything `cmake --install` puts in /usr.
# scripts/package configures a hardened build and runs cpack; the package's
# library dependencies come from the binaries (dpkg-shlibdeps).
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  return()
endif()

set(STATVTK_PACKAGE_MAINTAINER "StatVTK developers <statvtk@example.org>"
    CACHE STRING "Maintainer of the Debian package (name <address>)")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME statvtk)
set(CPACK_PACKAGE_VENDOR "StatVTK developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${STATVTK_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "service utility for VTK-08 and LDN-08 electromagnetic flowmeters")

set(CPACK_DEBIAN_PACKAGE_NAME statvtk)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${STATVTK_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS libreoffice-calc)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# The desktop and MIME databases and the icon cache are refreshed by the file
# triggers of desktop-file-utils, shared-mime-info and the icon theme when this
# package puts files in their folders. The maintainer scripts are the
# collector's: its system user, and its service enabled, stopped and forgotten.
set(CPACK_DEBIAN_PACKAGE_DEPENDS adduser)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_SOURCE_DIR}/packaging/debian/postinst
    ${CMAKE_SOURCE_DIR}/packaging/debian/prerm
    ${CMAKE_SOURCE_DIR}/packaging/debian/postrm)
# The synopsis line is CPACK_PACKAGE_DESCRIPTION_SUMMARY; this is the rest.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"StatVTK connects to one VTK-08.12, VTK-08.14 (C or CM) or LDN-08 flowmeter
at a time over a serial line (RS-232/485, optionally M-Bus), a Hayes modem
or TCP, identifies it and reads its hourly, daily and monthly archives,
events, configuration and current readings into a statistics file
(.vst, .814, .ldn). From such a file it makes hourly and daily spreadsheet
reports from report templates.
.
This package holds the command-line program statvtk-cli, the instrument
simulator statvtk-sim, the fleet collector statvtk-collect with its system
service (statvtk-collect.service, reading the instruments listed in
/var/lib/statvtk/collect.ini into a record store), the report templates and
the documentation, and the desktop program statvtk with its menu entry and
file types when built.")

include(CPack)
