# The driver package folder as the installer expects it, and a zip of it (target `package`, x86_64
# cross build only; the i386 binaries come from a build of the mingw32 preset that the target runs).
# Its folders and files are those of resources/package_files.txt, which the INF test reads too:
#   lblv6/lblv6.inf  lblv6/dat/lbldrv6.dat  lblv6/amd64/*.dll,lblinst32.exe  lblv6/i386/*.dll,lblinst32.exe
# Beside it, lblv6-debug/ and lblv6-debug.zip keep the debug files of exactly those binaries (not shipped).
# When a certificate is given (LBL_SIGN_* in the environment, tools/sign-package.sh), the binaries are
# Authenticode-signed before the zip is made.
set(_pkg ${CMAKE_BINARY_DIR}/package/lblv6)
set(_dbg ${CMAKE_BINARY_DIR}/package/lblv6-debug)
set(_m32 ${CMAKE_SOURCE_DIR}/build/mingw32)

# Where each listed file comes from: the INF and the data file from their generators, a program or
# DLL from the target of its name (amd64 from this build, i386 from the same target's folder in
# mingw32); a listed file without a target fails the build.
file(STRINGS ${LBL_PACKAGE_FILES} _rows REGEX "^[^#]")
set(_dirs)
set(_copies)
set(_bins)     # targets of this build
set(_bins32)   # targets the mingw32 build makes
foreach(_row ${_rows})
  if(NOT _row MATCHES "^([^:]+):(.*)$")
    message(FATAL_ERROR "${LBL_PACKAGE_FILES}: bad line '${_row}'")
  endif()
  set(_dir ${CMAKE_MATCH_1})
  separate_arguments(_files UNIX_COMMAND "${CMAKE_MATCH_2}")
  if(_dir STREQUAL ".")
    set(_dest ${_pkg})
  else()
    set(_dest ${_pkg}/${_dir})
  endif()
  list(APPEND _dirs ${_dest})
  foreach(_f ${_files})
    get_filename_component(_stem ${_f} NAME_WE)
    set(_binary OFF)
    if(_f STREQUAL "lblv6.inf" AND _dir STREQUAL ".")
      set(_src ${LBL_INF})
    elseif(_f STREQUAL "lbldrv6.dat")
      set(_src ${LBL_DATFILE})
    elseif(_f MATCHES "\\.(dll|exe)$" AND _dir STREQUAL "amd64")
      set(_src $<TARGET_FILE:${_stem}>)
      list(APPEND _bins ${_stem})
      set(_binary ON)
    elseif(_f MATCHES "\\.(dll|exe)$" AND _dir STREQUAL "i386")
      get_target_property(_srcdir ${_stem} SOURCE_DIR)
      file(RELATIVE_PATH _rel ${CMAKE_SOURCE_DIR} ${_srcdir})
      set(_src ${_m32}/${_rel}/${_f})
      list(APPEND _bins32 ${_stem})
      set(_binary ON)
    else()
      message(FATAL_ERROR "${LBL_PACKAGE_FILES}: no source for ${_dir}/${_f}")
    endif()
    list(APPEND _copies COMMAND ${CMAKE_COMMAND} -E copy ${_src} ${_dest}/${_f})
    if(_binary)
      # lbl_windows_resources left the debug information of each binary beside it.
      list(APPEND _dirs ${_dbg}/${_dir})
      list(APPEND _copies COMMAND ${CMAKE_COMMAND} -E copy ${_src}.debug ${_dbg}/${_dir}/${_f}.debug)
    endif()
  endforeach()
endforeach()
list(REMOVE_DUPLICATES _bins)
list(REMOVE_DUPLICATES _bins32)
list(REMOVE_DUPLICATES _dirs)

add_custom_target(package
  COMMAND ${CMAKE_COMMAND} --preset mingw32 -S ${CMAKE_SOURCE_DIR}
  COMMAND ${CMAKE_COMMAND} --build ${_m32} --target ${_bins32}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${_pkg} ${_dbg} ${CMAKE_BINARY_DIR}/package/lblv6.zip
          ${CMAKE_BINARY_DIR}/package/lblv6-debug.zip
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_dirs}
  ${_copies}
  COMMAND ${CMAKE_SOURCE_DIR}/tools/sign-package.sh ${_pkg}
  COMMAND ${CMAKE_COMMAND} -E chdir ${CMAKE_BINARY_DIR}/package ${CMAKE_COMMAND} -E tar cf lblv6.zip --format=zip lblv6
  COMMAND ${CMAKE_COMMAND} -E chdir ${CMAKE_BINARY_DIR}/package ${CMAKE_COMMAND} -E tar cf lblv6-debug.zip --format=zip
          lblv6-debug
  DEPENDS ${_bins} lbl_datfile lbl_inf ${LBL_PACKAGE_FILES}
  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
  COMMENT "Assembling the driver package build/mingw64/package/lblv6 and lblv6.zip (debug files: lblv6-debug)"
  VERBATIM)
# The list decides what the target copies: a change to it reconfigures.
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${LBL_PACKAGE_FILES})
