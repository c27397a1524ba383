# Installation: a self-contained folder with the executable and the
# application folder's files beside it (bin/vireo, bin/ctlini.dat,
# bin/Existing.xlsx, "bin/Field Data/"), plus a desktop entry and an icon.
# Installed read-only (the .deb under /opt/vireo), vireo uses
# ~/.local/share/Vireo and seeds it from bin/ on first start.
include(GNUInstallDirs)

install(TARGETS vireo RUNTIME DESTINATION bin)
install(FILES ${VIREO_APP_DIR}/ctlini.dat ${VIREO_APP_DIR}/Existing.xlsx DESTINATION bin)
install(DIRECTORY "${VIREO_APP_DIR}/Field Data" DESTINATION bin)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/vireo.svg
  DESTINATION share/icons/hicolor/scalable/apps)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/vireo.desktop.in
  ${CMAKE_CURRENT_BINARY_DIR}/vireo.desktop @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vireo.desktop DESTINATION share/applications)

# The Debian package installs under /opt/vireo. The desktop entry and the
# icon go to /opt/vireo/share and are linked into /usr/share by the
# package's scripts.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vireo)
set(CPACK_PACKAGE_VENDOR "Vireo")
set(CPACK_PACKAGE_CONTACT "Vireo maintainers <vireo@example.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Reduction of double-run digital levelling")
set(CPACK_PACKAGING_INSTALL_PREFIX /opt/vireo)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/postinst.in ${CMAKE_CURRENT_BINARY_DIR}/postinst @ONLY)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/prerm.in ${CMAKE_CURRENT_BINARY_DIR}/prerm @ONLY)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${CMAKE_CURRENT_BINARY_DIR}/postinst ${CMAKE_CURRENT_BINARY_DIR}/prerm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
