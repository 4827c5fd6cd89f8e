# What `cmake --install` puts where (GNUInstallDirs; DESTDIR works for every path):
# the programs, and beside them whatever of their documentation, completion, Wireshark
# dissector and service files the source tree holds. No tests, libraries or headers.
include(GNUInstallDirs)

set(KELVAST_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/kelvast)

# OUTPUT (NAME.gz) made from SOURCE by `gzip -9n` (no name, no time: the same bytes
# every build), as part of the build.
function(kelvast_gzip source output)
  string(REGEX REPLACE "\\.gz$" "" plain ${output})
  get_filename_component(name ${output} NAME)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${plain}
    COMMAND gzip -9nf ${plain}
    DEPENDS ${source} VERBATIM)
  add_custom_target(gzip_${name} ALL DEPENDS ${output})
endfunction()

install(TARGETS kelvast kelbeat RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR})
install(TARGETS kelpointer kelcard RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET kelexporter)
  install(TARGETS kelexporter RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# A file that `cmake --install` makes or places for the prefix it is given
# (cmake/KelvastInstallTime.cmake): a service file (PROGRAM in PROGRAMDIR) or an
# autostart entry.
function(kelvast_install_for_prefix file)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
  install(CODE "set(kelvast_file \"${file}\")
set(kelvast_work \"${CMAKE_BINARY_DIR}/install-time\")
set(kelvast_program \"${ARGV1}\")
set(kelvast_programdir \"${ARGV2}\")
include(\"${CMAKE_CURRENT_FUNCTION_LIST_DIR}/KelvastInstallTime.cmake\")")
endfunction()
kelvast_install_for_prefix(${CMAKE_SOURCE_DIR}/daemons/kelbeat.service kelbeat ${CMAKE_INSTALL_SBINDIR})
if(EXISTS ${CMAKE_SOURCE_DIR}/kelexporter/kelexporter.service)
  kelvast_install_for_prefix(${CMAKE_SOURCE_DIR}/kelexporter/kelexporter.service kelexporter ${CMAKE_INSTALL_BINDIR})
endif()
kelvast_install_for_prefix(${CMAKE_SOURCE_DIR}/daemons/kelpointer.desktop)

# Manual pages: docs/man/NAME.SECTION to share/man/manSECTION; the package build
# installs them compressed, as Debian wants them.
file(GLOB KELVAST_MAN_PAGES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/man/*.[1-8])
foreach(page IN LISTS KELVAST_MAN_PAGES)
  get_filename_component(name ${page} NAME)
  string(REGEX REPLACE ".*\\." "" section ${name})
  if(KELVAST_PACKAGE)
    kelvast_gzip(${page} ${CMAKE_BINARY_DIR}/man/${name}.gz)
    install(FILES ${CMAKE_BINARY_DIR}/man/${name}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
  else()
    install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
  endif()
endforeach()

file(GLOB KELVAST_COMPLETIONS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/contrib/completion/*)
install(FILES ${KELVAST_COMPLETIONS} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# Wireshark reads Lua dissectors from its global plugin folder (on Debian
# /usr/lib/<multiarch>/wireshark/plugins).
file(GLOB KELVAST_DISSECTORS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/contrib/wireshark/*.lua)
install(FILES ${KELVAST_DISSECTORS} DESTINATION ${CMAKE_INSTALL_LIBDIR}/wireshark/plugins)

file(GLOB KELVAST_DOCS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/*.md)
install(FILES README.md ${KELVAST_DOCS} DESTINATION ${KELVAST_DOCDIR})
install(DIRECTORY examples/ DESTINATION ${KELVAST_DOCDIR}/examples)

if(KELVAST_PACKAGE)
  include(${CMAKE_CURRENT_LIST_DIR}/KelvastPackage.cmake)
endif()
