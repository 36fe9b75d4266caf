# Run by CPack after it has built a package, which it leaves holding the builder's umask and
# time zone: made again, deterministic. A Debian package's ar members in ar's deterministic mode
# (owner 0, mode 0644, time 0) and in the order that dpkg wants; a zip's entries in name order,
# each with the commit's time (SOURCE_DATE_EPOCH), in UTC, and modes of our own.
foreach(package ${CPACK_PACKAGE_FILES})
  set(members ${package}.members)
  file(REMOVE_RECURSE ${members})
  file(MAKE_DIRECTORY ${members})
  if(package MATCHES "[.]deb$")
    execute_process(COMMAND ${CPACK_SDL2_WINDOW_AR} x ${package} WORKING_DIRECTORY ${members}
                    COMMAND_ERROR_IS_FATAL ANY)
    file(REMOVE ${package})
    execute_process(COMMAND ${CPACK_SDL2_WINDOW_AR} rcD ${package} debian-binary control.tar.gz
                            data.tar.gz WORKING_DIRECTORY ${members} COMMAND_ERROR_IS_FATAL ANY)
  elseif(package MATCHES "[.]zip$")
    execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${package} WORKING_DIRECTORY ${members}
                    COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND chmod -R u=rwX,go=rX . WORKING_DIRECTORY ${members}
                    COMMAND_ERROR_IS_FATAL ANY)
    file(GLOB_RECURSE entries LIST_DIRECTORIES false RELATIVE ${members} ${members}/*)
    list(SORT entries)
    # Info-ZIP's zip, whose -X leaves out the extra fields with their access and change times;
    # it writes each entry's time as the time zone has it, so in UTC.
    if(DEFINED ENV{SOURCE_DATE_EPOCH})
      execute_process(COMMAND touch -d @$ENV{SOURCE_DATE_EPOCH} ${entries}
                      WORKING_DIRECTORY ${members} COMMAND_ERROR_IS_FATAL ANY)
    endif()
    file(REMOVE ${package})
    execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC zip -q -X -D ${package} ${entries}
                    WORKING_DIRECTORY ${members} COMMAND_ERROR_IS_FATAL ANY)
  endif()
  file(REMOVE_RECURSE ${members})
endforeach()
