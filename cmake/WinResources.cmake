# lbl_windows_resources(TARGET NAME "description" [CATALOGUE] [RC extra.rc...])
# Gives a Windows binary its version information (every binary) and, with CATALOGUE, the model
# catalogue as resource "JSON" 119, and makes it the binary that ships: stripped, its debug information
# kept beside it in NAME.EXT.debug, which the binary names (.gnu_debuglink, with the file's CRC) so
# that gdb and addr2line find it. Does nothing outside the Windows build.
function(lbl_windows_resources target name description)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(R "CATALOGUE" "" "RC" ${ARGN})
  set(LBL_RC_NAME ${name})
  set(LBL_RC_DESCRIPTION ${description})
  get_target_property(_type ${target} TYPE)
  if(_type STREQUAL "EXECUTABLE")
    set(LBL_RC_FILETYPE "0x1L")
    set(LBL_RC_EXT ".exe")
  else()
    set(LBL_RC_FILETYPE "0x2L")
    set(LBL_RC_EXT ".dll")
  endif()
  set(LBL_RC_CATALOGUE "")
  if(R_CATALOGUE)
    file(TO_CMAKE_PATH "${LBL_CATALOGUE_JSON}" _json)
    set(LBL_RC_CATALOGUE "119 JSON \"${_json}\"")
    add_dependencies(${target} lbl_catalogue)
  endif()
  set(_rc ${CMAKE_CURRENT_BINARY_DIR}/${name}_version.rc)
  configure_file(${CMAKE_SOURCE_DIR}/resources/version.rc.in ${_rc} @ONLY)
  target_sources(${target} PRIVATE ${_rc} ${R_RC})
  if(R_CATALOGUE)
    set_source_files_properties(${_rc} PROPERTIES OBJECT_DEPENDS ${LBL_CATALOGUE_JSON})
  endif()
  # objcopy reads the debug file by the name it records, hence the binary's folder as working directory.
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE_NAME:${target}> $<TARGET_FILE_NAME:${target}>.debug
    COMMAND ${CMAKE_OBJCOPY} --strip-all --add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug
            $<TARGET_FILE_NAME:${target}>
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
    COMMENT "Splitting the debug information of ${name}${LBL_RC_EXT} into ${name}${LBL_RC_EXT}.debug"
    VERBATIM)
endfunction()

# lbl_embedded_resources(TARGET RC SYMBOL [INCLUDES dir...] [DEPENDS file...])
# Linux build: compiles the resource script with MinGW's windres into a .res file, the same bytes the
# Windows build links, and embeds it in the target as
#   extern "C" const unsigned char SYMBOL[], SYMBOL_end[];
# for winsim::AddResourceFile. The script's folder and the generated include folder (the manifests) are on
# the include path. Does nothing on Windows,
# where the script is compiled into the image's resource section.
function(lbl_embedded_resources target rc symbol)
  if(WIN32)
    return()
  endif()
  cmake_parse_arguments(R "" "" "INCLUDES;DEPENDS" ${ARGN})
  find_program(LBL_WINDRES NAMES x86_64-w64-mingw32-windres windres REQUIRED)
  get_filename_component(_dir ${rc} DIRECTORY)
  set(_includes -I${_dir} -I${LBL_GENERATED_INCLUDE})
  foreach(_inc ${R_INCLUDES})
    list(APPEND _includes -I${_inc})
  endforeach()
  set(_res ${CMAKE_CURRENT_BINARY_DIR}/${symbol}.res)
  file(GLOB _generated ${LBL_GENERATED_INCLUDE}/*.manifest)
  add_custom_command(OUTPUT ${_res}
    COMMAND ${LBL_WINDRES} -O res ${_includes} -i ${rc} -o ${_res}
    DEPENDS ${rc} ${R_DEPENDS} ${_generated}
    WORKING_DIRECTORY ${_dir}
    COMMENT "windres ${rc}"
    VERBATIM)
  set(_src ${CMAKE_CURRENT_BINARY_DIR}/${symbol}_res.cpp)
  file(CONFIGURE OUTPUT ${_src} CONTENT "// Generated: ${rc} compiled by windres, as bytes.
asm(\".section .rodata\\n\"
    \".balign 16\\n\"
    \".globl ${symbol}\\n.hidden ${symbol}\\n\"
    \".globl ${symbol}_end\\n.hidden ${symbol}_end\\n\"
    \"${symbol}:\\n\"
    \".incbin \\\"${_res}\\\"\\n\"
    \"${symbol}_end:\\n\"
    \".previous\\n\");
")
  set_source_files_properties(${_src} PROPERTIES OBJECT_DEPENDS ${_res})
  target_sources(${target} PRIVATE ${_src})
endfunction()
