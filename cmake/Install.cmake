# What `cmake --install` and the Debian package put where: the packer in bin, the
# Windows programs it packs in share/velmor (where the installed packer looks for its
# stub, as ../share/velmor beside itself), the CMake package in share/velmor/cmake,
# the manual page, the guide and the copyright file.
include(GNUInstallDirs)

install(TARGETS velmor-pack EXPORT velmorTargets RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${VELMOR_I686_DIR}/velmor.exe ${VELMOR_I686_DIR}/install.exe
        DESTINATION ${CMAKE_INSTALL_DATADIR}/velmor)

# The CMake package, for find_package(velmor): in share/velmor/cmake, one of the
# places find_package looks below every prefix, whatever the libdir of the system;
# nothing in it depends on the architecture of the project that finds it.
include(CMakePackageConfigHelpers)
set(VELMOR_CMAKE_DIR ${CMAKE_INSTALL_DATADIR}/velmor/cmake)
set(VELMOR_SHARE_DIR ${CMAKE_INSTALL_DATADIR}/velmor)
configure_package_config_file(${VELMOR_SOURCE_DIR}/cmake/package/velmorConfig.cmake.in
  ${CMAKE_BINARY_DIR}/velmorConfig.cmake
  INSTALL_DESTINATION ${VELMOR_CMAKE_DIR}
  PATH_VARS VELMOR_SHARE_DIR)
# ARCH_INDEPENDENT: a project cross-compiled for 32-bit Windows uses the packer too.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/velmorConfigVersion.cmake
  COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)
install(EXPORT velmorTargets NAMESPACE velmor:: DESTINATION ${VELMOR_CMAKE_DIR})
install(FILES ${CMAKE_BINARY_DIR}/velmorConfig.cmake ${CMAKE_BINARY_DIR}/velmorConfigVersion.cmake
        ${VELMOR_SOURCE_DIR}/cmake/package/VelmorCPack.cmake
        ${VELMOR_SOURCE_DIR}/cmake/package/VelmorCPackScript.cmake
        DESTINATION ${VELMOR_CMAKE_DIR})

# Debian keeps manual pages compressed, without a name or time in the gzip header.
set(VELMOR_MAN_PAGE ${CMAKE_BINARY_DIR}/velmor-pack.1.gz)
add_custom_command(OUTPUT ${VELMOR_MAN_PAGE}
  COMMAND sh -c "gzip -9n -c \"$0\" > \"$1\"" ${VELMOR_SOURCE_DIR}/docs/velmor-pack.1 ${VELMOR_MAN_PAGE}
  DEPENDS ${VELMOR_SOURCE_DIR}/docs/velmor-pack.1
  VERBATIM)
add_custom_target(man-page ALL DEPENDS ${VELMOR_MAN_PAGE})
install(FILES ${VELMOR_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${VELMOR_SOURCE_DIR}/docs/velmor-pack.md ${VELMOR_SOURCE_DIR}/README.md
        ${VELMOR_SOURCE_DIR}/cmake/deb/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The README shows the dialogs from docs/images/, relative to itself.
install(DIRECTORY ${VELMOR_SOURCE_DIR}/docs/images DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs
        FILES_MATCHING PATTERN "*.png")

# ./kit package: a .deb made by CPack.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "velmor developers <velmor-dev@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "setup kit for 32-bit Windows, with its packer for Linux")
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "setup kit for 32-bit Windows, with its packer for Linux\n"
  "velmor-pack packs a folder into a self-extracting setup package for Windows 95\n"
  "and later, signs, lists, verifies and extracts packages, and checks launcher\n"
  "configs. The package holds the stub velmor.exe and the launcher install.exe.")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${VELMOR_CRYPTO_PACKAGE}")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS osslsigncode)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
