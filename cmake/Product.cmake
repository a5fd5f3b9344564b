# The product's identity, defined once: its names here, its version in project(). The generated header
# common/product.h carries both to the code; the version information of the Windows binaries and the
# package INF take them from the same variables.
set(LBL_PROVIDER "Tarnwell")
set(LBL_PRODUCT_NAME "Tarnwell Label Printer Driver")
set(LBL_MONITOR_NAME "Tarnwell Language Monitor V6")
# The version's year is the release's year.
set(LBL_COPYRIGHT "Copyright (C) ${PROJECT_VERSION_MAJOR} ${LBL_PROVIDER}")

# As text the version is "2024.02.04.1": month and day in two digits.
set(_v ${PROJECT_VERSION_MAJOR})
foreach(_part ${PROJECT_VERSION_MINOR} ${PROJECT_VERSION_PATCH})
  if(_part LESS 10)
    string(APPEND _v ".0${_part}")
  else()
    string(APPEND _v ".${_part}")
  endif()
endforeach()
string(APPEND _v ".${PROJECT_VERSION_TWEAK}")
set(LBL_VERSION_TEXT ${_v})

set(LBL_GENERATED_INCLUDE ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_SOURCE_DIR}/common/product.h.in ${LBL_GENERATED_INCLUDE}/common/product.h @ONLY)
# The manifests of lblinst32.exe and lbldrv6ui.dll carry the version too; their .rc files include them
# from here (windres searches the include path for the files a script names).
foreach(_manifest lblinst32 lbldrv6ui)
  configure_file(${CMAKE_SOURCE_DIR}/resources/${_manifest}.manifest.in ${LBL_GENERATED_INCLUDE}/${_manifest}.manifest @ONLY)
endforeach()
