# Run by `cmake --install` (and cpack), where CMAKE_INSTALL_PREFIX is the prefix of
# this install, which may differ from the configured one: installs the files whose
# contents or place hang on it. Set by the caller: kelvast_file, kelvast_work, and
# kelvast_program with kelvast_programdir for a service file.
get_filename_component(name ${kelvast_file} NAME)
set(readable PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
if(name MATCHES "\\.service$")
  # The service's ExecStart names the program where this install puts it, and a
  # file:// documentation link the documentation folder.
  file(READ ${kelvast_file} text)
  string(REGEX REPLACE "ExecStart=([-@:+!]*)[^ \n]*/${kelvast_program}( |\n)"
         "ExecStart=\\1${CMAKE_INSTALL_PREFIX}/${kelvast_programdir}/${kelvast_program}\\2" text "${text}")
  string(REGEX REPLACE "file://[^ \n]*/share/doc/kelvast/" "file://${CMAKE_INSTALL_PREFIX}/share/doc/kelvast/"
         text "${text}")
  file(WRITE ${kelvast_work}/${name} "${text}")
  file(INSTALL ${kelvast_work}/${name} DESTINATION ${CMAKE_INSTALL_PREFIX}/lib/systemd/system ${readable})
else()
  # An X session autostart entry: /etc/xdg/autostart with the prefix /usr (as Debian
  # and GNUInstallDirs have it), else PREFIX/etc/xdg/autostart.
  if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    set(autostart /etc/xdg/autostart)
  else()
    set(autostart ${CMAKE_INSTALL_PREFIX}/etc/xdg/autostart)
  endif()
  file(INSTALL ${kelvast_file} DESTINATION ${autostart} ${readable})
endif()
