# The driver package folder as the installer expects it, and a zip of it (target `package`, x86_64
# cross build only; the i386 DLLs come from a build of the mingw32 preset that the target runs).
# Its folders and files are those of resources/package_files.txt, which the INF test reads too:
#   lblv6/lblv6.inf  lblv6/dat/lbldrv6.dat  lblv6/amd64/*.dll  lblv6/i386/*.dll  and the programs listed
set(_pkg ${CMAKE_BINARY_DIR}/package/lblv6)
set(_m32 ${CMAKE_SOURCE_DIR}/build/mingw32)

# Where each listed file comes from: the INF and the data file from their generators, a program or
# DLL from the target of its name (amd64 from this build, i386 from the same target's folder in
# mingw32); a listed file without a target fails the build.
file(STRINGS ${LBL_PACKAGE_FILES} _rows REGEX "^[^#]")
set(_dirs)
set(_copies)
set(_dlls)
set(_exes)
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
    if(_f STREQUAL "lblv6.inf" AND _dir STREQUAL ".")
      set(_src ${LBL_INF})
    elseif(_f STREQUAL "lbldrv6.dat")
      set(_src ${LBL_DATFILE})
    elseif(_f MATCHES "\\.exe$" AND _dir STREQUAL ".")
      set(_src $<TARGET_FILE:${_stem}>)
      list(APPEND _exes ${_stem})
    elseif(_f MATCHES "\\.dll$" AND _dir STREQUAL "amd64")
      set(_src $<TARGET_FILE:${_stem}>)
      list(APPEND _dlls ${_stem})
    elseif(_f MATCHES "\\.dll$" AND _dir STREQUAL "i386")
      get_target_property(_srcdir ${_stem} SOURCE_DIR)
      file(RELATIVE_PATH _rel ${CMAKE_SOURCE_DIR} ${_srcdir})
      set(_src ${_m32}/${_rel}/${_f})
      list(APPEND _dlls ${_stem})
    else()
      message(FATAL_ERROR "${LBL_PACKAGE_FILES}: no source for ${_dir}/${_f}")
    endif()
    list(APPEND _copies COMMAND ${CMAKE_COMMAND} -E copy ${_src} ${_dest}/${_f})
  endforeach()
endforeach()
list(REMOVE_DUPLICATES _dlls)
set(_deps ${_dlls} ${_exes})

add_custom_target(package
  COMMAND ${CMAKE_COMMAND} --preset mingw32 -S ${CMAKE_SOURCE_DIR}
  COMMAND ${CMAKE_COMMAND} --build ${_m32} --target ${_dlls}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${_pkg} ${CMAKE_BINARY_DIR}/package/lblv6.zip
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_dirs}
  ${_copies}
  COMMAND ${CMAKE_COMMAND} -E chdir ${CMAKE_BINARY_DIR}/package ${CMAKE_COMMAND} -E tar cf lblv6.zip --format=zip lblv6
  DEPENDS ${_deps} lbl_datfile lbl_inf ${LBL_PACKAGE_FILES}
  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
  COMMENT "Assembling the driver package build/mingw64/package/lblv6 and lblv6.zip"
  VERBATIM)
# The list decides what the target copies: a change to it reconfigures.
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${LBL_PACKAGE_FILES})
