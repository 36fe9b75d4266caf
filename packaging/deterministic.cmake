# Run by CPack after it has built the zip, which holds the builder's umask and time zone: made
# again, its entries in name order, with the commit's time (SOURCE_DATE_EPOCH) in UTC, our modes.
list(FILTER CPACK_PACKAGE_FILES INCLUDE REGEX "[.]zip$")
foreach(package ${CPACK_PACKAGE_FILES})
  set(members ${package}.members)
  file(REMOVE_RECURSE ${members})
  file(MAKE_DIRECTORY ${members})
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${package} WORKING_DIRECTORY ${members}
                  COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND chmod -R u=rwX,go=rX . WORKING_DIRECTORY ${members}
                  COMMAND_ERROR_IS_FATAL ANY)
  file(GLOB_RECURSE entries LIST_DIRECTORIES false RELATIVE ${members} ${members}/*)
  list(SORT entries)
  # Info-ZIP's zip, whose -X leaves out the extra fields with their access and change times; it
  # writes each entry's time as the time zone has it, so in UTC.
  if(DEFINED ENV{SOURCE_DATE_EPOCH})
    execute_process(COMMAND touch -d @$ENV{SOURCE_DATE_EPOCH} ${entries}
                    WORKING_DIRECTORY ${members} COMMAND_ERROR_IS_FATAL ANY)
  endif()
  file(REMOVE ${package})
  execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC zip -q -X -D ${package} ${entries}
                  WORKING_DIRECTORY ${members} COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${members})
endforeach()
