# cpack -G DEB in the Linux build: a Debian package of what 'cmake --install' puts in place, under
# /usr. Its dependencies are what dpkg-shlibdeps finds in the binaries and modules, plus the libraries
# winsim loads only when something draws (Cairo, fontconfig) and the font it draws "Arial" and the
# dialogs with. The Chinese and Korean dialogs draw their texts in WenQuanYi Micro Hei: recommended
# (apt installs it with the package), as the other languages do without it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lbl)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "${LBL_PROVIDER}")
set(CPACK_PACKAGE_CONTACT "${LBL_PROVIDER} <support@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "lbl: ${LBL_PRODUCT_NAME} on a simulated Windows machine")
set(CPACK_PACKAGE_DESCRIPTION "Runs the label printer driver package on a simulated Windows machine from the \
command line: prints pictures and PDF labels in TSPL, ZPL, ESC and TWL, views printer streams, opens the driver's \
property sheets, installs printers and keeps the machine between commands.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcairo2, libfontconfig1, fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei")
set(CPACK_STRIP_FILES ON)
include(CPack)
