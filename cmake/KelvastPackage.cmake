# The Debian package (KELVAST_PACKAGE=ON, the `package` preset; scripts/package.sh runs
# cpack): the install of cmake/KelvastInstall.cmake below /usr, plus the copyright
# file, the Debian changelog and the maintainer scripts.
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  message(FATAL_ERROR "the Debian package installs below /usr, not ${CMAKE_INSTALL_PREFIX}")
endif()
set(KELVAST_DEB_RELEASE 1)

# The changelog's latest entry is the version packaged.
file(STRINGS ${CMAKE_SOURCE_DIR}/packaging/changelog.Debian changelog_top LIMIT_COUNT 1)
if(NOT changelog_top MATCHES "^kelvast \\(${PROJECT_VERSION}-${KELVAST_DEB_RELEASE}\\) ")
  message(FATAL_ERROR "packaging/changelog.Debian starts with \"${changelog_top}\": "
                      "it needs an entry for ${PROJECT_VERSION}-${KELVAST_DEB_RELEASE}")
endif()
install(FILES packaging/copyright DESTINATION ${KELVAST_DOCDIR})
kelvast_gzip(${CMAKE_SOURCE_DIR}/packaging/changelog.Debian ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz)
install(FILES ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz DESTINATION ${KELVAST_DOCDIR})

# Every file below /etc is the administrator's to change: a conffile.
file(WRITE ${CMAKE_BINARY_DIR}/debian/conffiles "/etc/xdg/autostart/kelpointer.desktop\n")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelvast)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tools for the ORVA remote-management card")
# The extended description below the summary; cpack indents it and turns empty
# lines into " .".
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "kelvast configures and services an ORVA management card, the
remote-management controller in a server: users, event log, alerts, network,
flash, files, sensors and the server's power, over TCP or through the card's
virtual CD-ROM drive.

The package also holds the host daemons kelbeat (operating-system heartbeat,
a systemd service) and kelpointer (the remote pointer on the local X display,
started with the X session), and kelcard, an emulator of the card for trying
commands and scripts without hardware.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "kelvast maintainers <kelvast@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${KELVAST_DEB_RELEASE})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_BINARY_DIR}/debian/conffiles
    ${CMAKE_SOURCE_DIR}/packaging/postinst
    ${CMAKE_SOURCE_DIR}/packaging/prerm
    ${CMAKE_SOURCE_DIR}/packaging/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# After cpack's strip, what else the Debian tools drop from a program: the compilers'
# .comment and .note sections.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/KelvastStripNotes.cmake)
include(CPack)
