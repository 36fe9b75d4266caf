# Run by CPack in the staged install tree, before it builds any package: modes of our own
# (0644 and 0755), not the builder's umask, and every time the commit's (SOURCE_DATE_EPOCH).
execute_process(COMMAND chmod -R u=rwX,go=rX ${CPACK_TEMPORARY_INSTALL_DIRECTORY}
                COMMAND_ERROR_IS_FATAL ANY)
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH} AND CPACK_SDL2_WINDOW_EPOCH)
  set(ENV{SOURCE_DATE_EPOCH} ${CPACK_SDL2_WINDOW_EPOCH})
endif()
