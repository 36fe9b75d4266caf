# The package, made by CPack from what `cmake --install` lays out (`--target package`): on
# Windows a flat zip, sdl2-window-VERSION-win64.zip; elsewhere the RPM, for Fedora and openSUSE
# (the Debian package is built by Debian's tools, from packaging/debian).
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "The sdl2-window developers")
set(CPACK_PACKAGE_CONTACT
    "The sdl2-window developers <maintainers@users.noreply.c-seed-14bc68ed.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${PROJECT_DESCRIPTION})
# Lines of at most 80 characters.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
       "sdl2-window asks SDL2 for one 640 by 480 window, flagged for OpenGL, keeps it"
       "on screen for three seconds and exits 0. When SDL2 cannot make the window, it"
       "prints SDL2's reason in one line on standard output and exits 1."
       "."
       "Scripts and people use it to learn whether a machine, on X11 or on Wayland,"
       "can open an OpenGL-capable window at all: its exit status is the answer.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

# Every time in a package is the commit's, unless the builder sets SOURCE_DATE_EPOCH: from git,
# or from the line below, which `git archive` fills in; else the Debian changelog's last date.
set(commit_time "$Format:%ct$")
if(NOT commit_time MATCHES "^[0-9]+$")
  execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                  OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(NOT commit_time MATCHES "^[0-9]+$")
  file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/debian/changelog signed REGEX "^ -- ")
  list(GET signed 0 signed)
  string(REGEX REPLACE "^ -- [^>]*>  " "" date "${signed}")
  execute_process(COMMAND date -d "${date}" +%s OUTPUT_VARIABLE commit_time
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
set(CPACK_SDL2_WINDOW_EPOCH ${commit_time})
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/packaging/reproducible.cmake)
# Modes of our own in the staged tree, not the builder's umask; the zip made again, deterministic.
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/staged.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/deterministic.cmake)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  include(CPack)
  return()
endif()

set(CPACK_GENERATOR RPM)
set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
set(CPACK_RPM_PACKAGE_LICENSE MIT)
set(CPACK_RPM_PACKAGE_GROUP "Applications/System")
set(CPACK_RPM_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
# Requires: the binary's own, from rpm's generator, and the OpenGL and EGL libraries that SDL2
# opens at run time. Not the system's folders; no build host, time or build-id links, so that a
# rebuild gives the same bytes.
set(CPACK_RPM_PACKAGE_AUTOREQ ON)
set(CPACK_RPM_PACKAGE_REQUIRES "libGL.so.1()(64bit), libEGL.so.1()(64bit)")
set(CPACK_RPM_PACKAGE_RELOCATABLE OFF)
set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION /usr/share/man /usr/share/man/man1
    /usr/share/doc)
set(CPACK_RPM_SPEC_MORE_DEFINE "%define packager ${CPACK_PACKAGE_CONTACT}
%define _buildhost reproducible
%define use_source_date_epoch_as_buildtime 1
%define clamp_mtime_to_source_date_epoch 1
%define _build_id_links none")

set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
