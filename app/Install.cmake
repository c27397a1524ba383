# Installation: a self-contained folder with the executable and the
# application folder's files beside it (bin/vireo, bin/ctlini.dat,
# bin/Existing.xlsx, "bin/Field Data/"), plus a desktop entry, an icon and
# the manual pages vireo(1) and vireo-cli(1). Installed for every user (the
# .deb under /opt/vireo), the programs use ~/.local/share/Vireo and seed it
# from bin/ on first start.
include(GNUInstallDirs)

install(TARGETS vireo RUNTIME DESTINATION bin)
install(FILES ${VIREO_APP_DIR}/ctlini.dat ${VIREO_APP_DIR}/Existing.xlsx DESTINATION bin)
install(DIRECTORY "${VIREO_APP_DIR}/Field Data" DESTINATION bin)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/vireo.svg
  DESTINATION share/icons/hicolor/scalable/apps)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/vireo.desktop.in
  ${CMAKE_CURRENT_BINARY_DIR}/vireo.desktop @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vireo.desktop DESTINATION share/applications)

# The manual pages, compressed as Debian keeps them.
set(VIREO_MANUAL_PAGES)
foreach(page ${CMAKE_CURRENT_SOURCE_DIR}/vireo.1.in ${PROJECT_SOURCE_DIR}/cli/vireo-cli.1.in)
  get_filename_component(name ${page} NAME_WLE)
  configure_file(${page} ${CMAKE_CURRENT_BINARY_DIR}/${name} @ONLY)
  add_custom_command(
    OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz
    COMMAND gzip -9nf -k ${CMAKE_CURRENT_BINARY_DIR}/${name}
    DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/${name}
    COMMENT "Compressing the manual page ${name}")
  list(APPEND VIREO_MANUAL_PAGES ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz)
endforeach()
add_custom_target(vireo_manual_pages ALL DEPENDS ${VIREO_MANUAL_PAGES})
install(FILES ${VIREO_MANUAL_PAGES} DESTINATION share/man/man1)

# The Debian package installs under /opt/vireo. The programs, the manual
# pages, the desktop entry and the icon are linked into /usr by the
# package's scripts, which remove exactly those links again.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vireo)
set(CPACK_PACKAGE_VENDOR "Vireo")
set(CPACK_PACKAGE_CONTACT "Vireo maintainers <vireo@example.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Reduction of double-run digital levelling")
set(CPACK_PACKAGING_INSTALL_PREFIX /opt/vireo)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_STRIP_FILES ON)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/postinst.in ${CMAKE_CURRENT_BINARY_DIR}/postinst @ONLY)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/prerm.in ${CMAKE_CURRENT_BINARY_DIR}/prerm @ONLY)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${CMAKE_CURRENT_BINARY_DIR}/postinst ${CMAKE_CURRENT_BINARY_DIR}/prerm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
