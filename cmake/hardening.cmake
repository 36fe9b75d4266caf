# Hardening of the sdl2-window program: what the target's compiler and linker offer, each
# option checked first, so that none reaches a toolchain that does not know it.
include(CheckCXXCompilerFlag)
include(CheckLinkerFlag)
include(CheckPIESupported)

check_pie_supported()
set_target_properties(sdl2-window PROPERTIES POSITION_INDEPENDENT_CODE ON SKIP_BUILD_RPATH ON)

# The compile flags are recorded in an ELF binary (.GCC.command.line), where the hardening test
# reads them back. MinGW's stack protector lives in libssp, which the link brings in only when
# it sees the flag too.
set(compile_flags -fstack-protector-strong -fstack-clash-protection -fcf-protection)
if(NOT WIN32)
  list(APPEND compile_flags -frecord-gcc-switches)
endif()
foreach(flag ${compile_flags})
  string(MAKE_C_IDENTIFIER "have${flag}" have)
  check_cxx_compiler_flag(${flag} ${have})
  if(${have})
    target_compile_options(sdl2-window PRIVATE ${flag})
    if(flag STREQUAL "-fstack-protector-strong")
      target_link_options(sdl2-window PRIVATE ${flag})
    endif()
  endif()
endforeach()

# Fortification needs optimisation, and the sanitizers check the same calls themselves.
if(NOT SDL2_WINDOW_SANITIZE)
  target_compile_options(sdl2-window PRIVATE
                         $<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2>)
endif()

# ELF: full RELRO and a stack that cannot run code. Windows: ASLR, with high entropy, and DEP;
# the C++ runtime and libssp linked in, so that SDL2.dll is the one DLL to ship.
if(WIN32)
  set(link_flags LINKER:--dynamicbase LINKER:--high-entropy-va LINKER:--nxcompat -static)
else()
  set(link_flags LINKER:-z,relro LINKER:-z,now LINKER:-z,noexecstack)
endif()
foreach(flag ${link_flags})
  string(MAKE_C_IDENTIFIER "have${flag}" have)
  check_linker_flag(CXX ${flag} ${have})
  if(${have})
    target_link_options(sdl2-window PRIVATE ${flag})
  endif()
endforeach()
