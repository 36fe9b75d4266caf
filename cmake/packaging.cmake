# The package, made by CPack from what `cmake --install` lays out (`--target package`): on
# Windows a flat zip, sdl2-window-VERSION-win64.zip; elsewhere a Debian package.
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "The sdl2-window developers")
set(CPACK_PACKAGE_CONTACT
    "The sdl2-window developers <maintainers@users.noreply.c-seed-14bc68ed.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${PROJECT_DESCRIPTION})
# Debian's extended description: lines of at most 80 characters.
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
# or, in a source tarball made by `git archive`, from the line below, which it fills in. A copy
# of the tree with neither takes the date of the changelog's last entry, as Debian does.
set(commit_time "$Format:%ct$")
if(NOT commit_time MATCHES "^[0-9]+$")
  execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                  OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(NOT commit_time MATCHES "^[0-9]+$")
  file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog signed REGEX "^ -- ")
  list(GET signed 0 signed)
  string(REGEX REPLACE "^ -- [^>]*>  " "" date "${signed}")
  execute_process(COMMAND date -d "${date}" +%s OUTPUT_VARIABLE commit_time
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
set(CPACK_SDL2_WINDOW_EPOCH ${commit_time})
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/packaging/reproducible.cmake)
# Modes of our own in the staged tree, for every package: the builder's umask must not show;
# and the archive made again after CPack, deterministic.
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/staged.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/deterministic.cmake)
set(CPACK_SDL2_WINDOW_AR ${CMAKE_AR})
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  include(CPack)
  return()
endif()

# The Debian package by default; `cpack -G RPM` makes the RPM, for Fedora and openSUSE.
set(CPACK_GENERATOR DEB)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends comes from the binary itself, through dpkg-shlibdeps, and from what SDL2 opens only
# once it runs, which no scan of the binary sees: the OpenGL library (libGL.so.1, for GLX on
# X11) and EGL's (libEGL.so.1, on Wayland), as the dispatch packages that bring a driver.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgl1, libegl1")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
set(CPACK_RPM_PACKAGE_LICENSE MIT)
set(CPACK_RPM_PACKAGE_GROUP "Applications/System")
set(CPACK_RPM_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
# Requires comes from the binary itself, through rpm's own dependency generator, and, as for
# Debian, names the OpenGL and EGL libraries that SDL2 opens at run time. The folders
# that the system owns are not the package's; and no build host, build time or build-id links
# go in, so that a rebuild gives the same bytes.
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

# Debian wants the copyright and the changelog in the package's doc folder and the man page
# compressed; a plain install leaves them be.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Before the modes are fixed, so that what it copies in takes them too.
list(INSERT CPACK_PRE_BUILD_SCRIPTS 0 ${PROJECT_SOURCE_DIR}/packaging/debian-files.cmake)
set(CPACK_SDL2_WINDOW_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_SDL2_WINDOW_DOCDIR ${CMAKE_INSTALL_DOCDIR})
set(CPACK_SDL2_WINDOW_MANDIR ${CMAKE_INSTALL_MANDIR})
include(CPack)
