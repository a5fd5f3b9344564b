# lbl_linux_module(TARGET SOURCES... LIBS libs...)
# A driver module of the Linux build as winsim's loader opens it: TARGET.so (no lib prefix) in
# LBL_MODULE_DIR, exporting only what TARGET.map next to it names, its own symbols bound inside.
function(lbl_linux_module target)
  cmake_parse_arguments(M "" "" "LIBS" ${ARGN})
  set(map ${CMAKE_CURRENT_SOURCE_DIR}/${target}.map)
  add_library(${target} SHARED ${M_UNPARSED_ARGUMENTS})
  target_link_libraries(${target} PRIVATE ${M_LIBS})
  target_link_options(${target} PRIVATE -Wl,--version-script=${map} -Wl,-Bsymbolic)
  set_target_properties(${target} PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${LBL_MODULE_DIR} LINK_DEPENDS ${map})
endfunction()
