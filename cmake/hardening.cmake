# Hardening of the sdl2-window program: what the compiler and linker offer, each flag checked.
include(CheckCXXCompilerFlag)
include(CheckPIESupported)

check_pie_supported()
set_target_properties(sdl2-window PROPERTIES POSITION_INDEPENDENT_CODE ON SKIP_BUILD_RPATH ON)

# The compile flags are recorded in the binary (.GCC.command.line), where the hardening test
# reads them back.
foreach(flag -fstack-protector-strong -fstack-clash-protection -fcf-protection
             -frecord-gcc-switches)
  string(MAKE_C_IDENTIFIER "have${flag}" have)
  check_cxx_compiler_flag(${flag} ${have})
  if(${have})
    target_compile_options(sdl2-window PRIVATE ${flag})
  endif()
endforeach()

# Fortification needs optimisation, and the sanitizers check the same calls themselves.
if(NOT SDL2_WINDOW_SANITIZE)
  target_compile_options(sdl2-window PRIVATE
                         $<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2>)
endif()

target_link_options(sdl2-window PRIVATE LINKER:-z,relro LINKER:-z,now LINKER:-z,noexecstack)
