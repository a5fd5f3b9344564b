# The driver package folder as the installer expects it, and a zip of it (target `package`, x86_64
# cross build only; the i386 DLLs come from a build of the mingw32 preset that the target runs):
#   lblv6/lblv6.inf  lblv6/dat/lbldrv6.dat  lblv6/amd64/*.dll  lblv6/i386/*.dll  [lblv6/lblinst32.exe]
set(_pkg ${CMAKE_BINARY_DIR}/package/lblv6)
set(_dlls lbldrv6 lbldrv6ui lblmon)
set(_amd64)
foreach(t ${_dlls})
  list(APPEND _amd64 $<TARGET_FILE:${t}>)
endforeach()
set(_m32 ${CMAKE_SOURCE_DIR}/build/mingw32)
add_custom_target(package
  COMMAND ${CMAKE_COMMAND} --preset mingw32 -S ${CMAKE_SOURCE_DIR}
  COMMAND ${CMAKE_COMMAND} --build ${_m32} --target ${_dlls}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${_pkg}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_pkg}/amd64 ${_pkg}/i386 ${_pkg}/dat
  COMMAND ${CMAKE_COMMAND} -E copy ${_amd64} ${_pkg}/amd64/
  COMMAND ${CMAKE_COMMAND} -E copy ${_m32}/render/lbldrv6.dll ${_m32}/ui/lbldrv6ui.dll ${_m32}/monitor/lblmon.dll ${_pkg}/i386/
  COMMAND ${CMAKE_COMMAND} -E copy ${LBL_DATFILE} ${_pkg}/dat/
  COMMAND ${CMAKE_COMMAND} -E copy ${LBL_INF} ${_pkg}/
  COMMAND ${CMAKE_COMMAND} -E chdir ${CMAKE_BINARY_DIR}/package ${CMAKE_COMMAND} -E tar cf lblv6.zip --format=zip lblv6
  DEPENDS ${_dlls} lbl_datfile lbl_inf
  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
  COMMENT "Assembling the driver package build/mingw64/package/lblv6 and lblv6.zip"
  VERBATIM)
if(TARGET lblinst32)
  add_custom_command(TARGET package POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:lblinst32> ${_pkg}/
    COMMAND ${CMAKE_COMMAND} -E chdir ${CMAKE_BINARY_DIR}/package ${CMAKE_COMMAND} -E tar cf lblv6.zip --format=zip lblv6
    VERBATIM)
endif()
