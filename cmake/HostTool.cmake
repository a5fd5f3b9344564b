# lbl_host_tool(NAME SOURCES...) builds a generator that runs on the build machine.
# In the cross build the target compiler makes Windows binaries, so the host compiler is called directly.
function(lbl_host_tool name)
  set(srcs ${ARGN})
  if(CMAKE_CROSSCOMPILING)
    find_program(LBL_HOST_CXX NAMES c++ g++ REQUIRED)
    set(out ${CMAKE_CURRENT_BINARY_DIR}/${name}-host)
    set(abs)
    foreach(s ${srcs})
      list(APPEND abs ${CMAKE_CURRENT_SOURCE_DIR}/${s})
    endforeach()
    add_custom_command(OUTPUT ${out}
      COMMAND ${LBL_HOST_CXX} -std=c++20 -O2 -I${CMAKE_SOURCE_DIR} -I${LBL_GENERATED_INCLUDE} -o ${out} ${abs}
      DEPENDS ${abs} VERBATIM)
    add_custom_target(${name}_build DEPENDS ${out})
    set(${name}_EXE ${out} PARENT_SCOPE)
    set(${name}_DEP ${name}_build ${out} PARENT_SCOPE)
  else()
    add_executable(${name} ${srcs})
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${LBL_GENERATED_INCLUDE})
    set(${name}_EXE $<TARGET_FILE:${name}> PARENT_SCOPE)
    set(${name}_DEP ${name} PARENT_SCOPE)
  endif()
endfunction()
