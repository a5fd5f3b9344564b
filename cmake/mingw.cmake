# MinGW-w64 cross toolchain; LBL_MINGW_ARCH (x86_64 or i686, set by the preset) picks the target.
if(NOT LBL_MINGW_ARCH MATCHES "^(x86_64|i686)$")
  message(FATAL_ERROR "LBL_MINGW_ARCH must be x86_64 or i686, not '${LBL_MINGW_ARCH}'")
endif()
# try_compile projects read this file again and need the architecture too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES LBL_MINGW_ARCH)

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${LBL_MINGW_ARCH})
set(LBL_MINGW_TRIPLET ${LBL_MINGW_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER ${LBL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LBL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${LBL_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${LBL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

if(LBL_MINGW_ARCH STREQUAL "i686")
  # stdcall exports keep the names of the module-definition files, without @n decoration.
  set(CMAKE_SHARED_LINKER_FLAGS_INIT "-Wl,--kill-at -Wl,--enable-stdcall-fixup")
  set(CMAKE_EXE_LINKER_FLAGS_INIT "-Wl,--kill-at")
  # SSE2 arithmetic, as on x86_64: x87 excess precision would change rounded pixel values.
  set(LBL_MINGW_ARCH_FLAGS "-msse2 -mfpmath=sse")
endif()
# The AVX2 dithering path keeps vectors on the stack, and GCC does not align Windows stack frames
# to 32 bytes: the assembler writes every aligned vector move as an unaligned one.
set(CMAKE_C_FLAGS_INIT "${LBL_MINGW_ARCH_FLAGS} -Wa,-muse-unaligned-vector-move")
set(CMAKE_CXX_FLAGS_INIT "${LBL_MINGW_ARCH_FLAGS} -Wa,-muse-unaligned-vector-move")
