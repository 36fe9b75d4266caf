# Run by CPack in the staged install tree, before it builds the Debian package: Debian wants
# a copyright file and a compressed changelog in the package's doc folder, and its man pages
# compressed. A plain `cmake --install` leaves these be.
set(packaging ${CPACK_SDL2_WINDOW_SOURCE_DIR}/packaging)
set(root ${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})
set(docs ${root}/${CPACK_SDL2_WINDOW_DOCDIR})
file(GLOB pages ${root}/${CPACK_SDL2_WINDOW_MANDIR}/man1/*.1)

file(COPY ${packaging}/copyright ${packaging}/changelog DESTINATION ${docs})
# gzip -n: no name or time stamp in the archive, so that a rebuild gives the same bytes.
foreach(file ${docs}/changelog ${pages})
  execute_process(COMMAND gzip -9nf ${file} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
