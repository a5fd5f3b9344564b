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

# The images are position independent with high-entropy ASLR on x86_64 and marked for DEP; binutils
# sets these by default, and tools/check-windows.sh checks the resulting DllCharacteristics.
set(_lbl_link "-fstack-protector-strong -Wl,--dynamicbase -Wl,--nxcompat")
set(_lbl_shared "")
set(_lbl_exe "")
if(LBL_MINGW_ARCH STREQUAL "i686")
  # stdcall exports keep the names of the module-definition files, without @n decoration.
  set(_lbl_shared "-Wl,--kill-at -Wl,--enable-stdcall-fixup")
  set(_lbl_exe "-Wl,--kill-at")
  # SSE2 arithmetic, as on x86_64: x87 excess precision would change rounded pixel values.
  set(LBL_MINGW_ARCH_FLAGS "-msse2 -mfpmath=sse")
else()
  string(APPEND _lbl_link " -Wl,--high-entropy-va")
endif()
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_lbl_shared} ${_lbl_link}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${_lbl_shared} ${_lbl_link}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_lbl_exe} ${_lbl_link}")
# The AVX2 dithering path keeps vectors on the stack, and GCC does not align Windows stack frames
# to 32 bytes: the assembler writes every aligned vector move as an unaligned one.
# -fstack-protector-strong: a smashed stack ends the process at the function's return instead of
# running what overwrote the return address. The check functions come from GCC's libssp, linked
# statically (lbl_platform links with -static), so no binary imports libssp-0.dll.
# -g: full debug information, which lbl_windows_resources moves into a separate .debug file per binary.
set(_lbl_flags "${LBL_MINGW_ARCH_FLAGS} -Wa,-muse-unaligned-vector-move -fstack-protector-strong -g")
set(CMAKE_C_FLAGS_INIT "${_lbl_flags}")
set(CMAKE_CXX_FLAGS_INIT "${_lbl_flags}")
