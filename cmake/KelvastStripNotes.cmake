# Run by cpack on its staging folder (CPACK_PRE_BUILD_SCRIPTS): removes the .comment
# and .note sections of every program, as dh_strip does.
file(GLOB programs ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin/* ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/sbin/*)
if(NOT programs)
  message(FATAL_ERROR "no programs below ${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
endif()
foreach(program IN LISTS programs)
  execute_process(COMMAND strip --remove-section=.comment --remove-section=.note ${program}
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()
