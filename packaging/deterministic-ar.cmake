# Run by CPack after it has built the Debian package: its ar members are made again in ar's
# deterministic mode (owner 0, mode 0644, time 0), in the order that dpkg wants, since CPack
# gives them the modes that the builder's umask leaves.
foreach(package ${CPACK_PACKAGE_FILES})
  set(members ${package}.members)
  file(REMOVE_RECURSE ${members})
  file(MAKE_DIRECTORY ${members})
  execute_process(COMMAND ${CPACK_SDL2_WINDOW_AR} x ${package} WORKING_DIRECTORY ${members}
                  COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE ${package})
  execute_process(COMMAND ${CPACK_SDL2_WINDOW_AR} rcD ${package} debian-binary control.tar.gz
                          data.tar.gz WORKING_DIRECTORY ${members} COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${members})
endforeach()
