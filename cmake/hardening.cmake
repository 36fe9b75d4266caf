# Hardening of the sdl2-window program: what its compiler and linker offer, each option checked
# first.
include(CheckCXXCompilerFlag)
include(CheckLinkerFlag)
include(CheckPIESupported)

check_pie_supported()
set_target_properties(sdl2-window PROPERTIES POSITION_INDEPENDENT_CODE ON SKIP_BUILD_RPATH ON)

# hardened(compile|link FLAG...): each flag that the compiler or linker takes, on the program.
function(hardened kind)
  foreach(flag ${ARGN})
    string(MAKE_C_IDENTIFIER "have_${kind}${flag}" have)
    if(kind STREQUAL "compile")
      check_cxx_compiler_flag(${flag} ${have})
    else()
      check_linker_flag(CXX ${flag} ${have})
    endif()
    if(${have})
      cmake_language(CALL target_${kind}_options sdl2-window PRIVATE ${flag})
    endif()
  endforeach()
endfunction()

# The compile flags are recorded in an ELF binary (.GCC.command.line), where the hardening test
# reads them back; GCC records nothing in a PE one. Control-flow protection is x86's, branch
# protection (PAC and BTI) arm64's; Clang takes the latter anywhere, unused but for a warning.
hardened(compile -fstack-protector-strong -fstack-clash-protection -fcf-protection)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64|ARM64)$")
  hardened(compile -mbranch-protection=standard)
endif()
if(NOT WIN32)
  hardened(compile -frecord-gcc-switches)
endif()

# Fortification needs optimisation, and the sanitizers check the same calls themselves. A level
# that the packager's flags set (Debian's dpkg-buildflags, say) is theirs to keep.
if(NOT SDL2_WINDOW_SANITIZE AND NOT CMAKE_CXX_FLAGS MATCHES "_FORTIFY_SOURCE")
  target_compile_options(sdl2-window PRIVATE
                         $<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2>)
endif()

# ELF: full RELRO and a stack that cannot run code. Windows: ASLR, with high entropy, and DEP;
# the C++ runtime and libssp (which the link brings only with the flag) linked in statically.
if(WIN32)
  hardened(link LINKER:--dynamicbase LINKER:--high-entropy-va LINKER:--nxcompat -static
           -fstack-protector-strong)
else()
  hardened(link LINKER:-z,relro LINKER:-z,now LINKER:-z,noexecstack)
endif()
