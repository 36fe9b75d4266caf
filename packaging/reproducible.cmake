# Read by CPack before each package: the time that it gives every file and archive member is
# the commit's, as SOURCE_DATE_EPOCH says, so that the same commit gives the same bytes.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH} AND CPACK_SDL2_WINDOW_EPOCH)
  set(ENV{SOURCE_DATE_EPOCH} ${CPACK_SDL2_WINDOW_EPOCH})
endif()
