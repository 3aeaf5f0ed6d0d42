# What `cmake --install` and the Debian package put where: the packer in bin, the
# Windows programs it packs in share/velmor (where the installed packer looks for its
# stub, as ../share/velmor beside itself), the manual page and the guide.
include(GNUInstallDirs)

install(TARGETS velmor-pack RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${VELMOR_I686_DIR}/velmor.exe ${VELMOR_I686_DIR}/install.exe
        DESTINATION ${CMAKE_INSTALL_DATADIR}/velmor)

# Debian keeps manual pages compressed, without a name or time in the gzip header.
set(VELMOR_MAN_PAGE ${CMAKE_BINARY_DIR}/velmor-pack.1.gz)
add_custom_command(OUTPUT ${VELMOR_MAN_PAGE}
  COMMAND sh -c "gzip -9n -c \"$0\" > \"$1\"" ${VELMOR_SOURCE_DIR}/docs/velmor-pack.1 ${VELMOR_MAN_PAGE}
  DEPENDS ${VELMOR_SOURCE_DIR}/docs/velmor-pack.1
  VERBATIM)
add_custom_target(man-page ALL DEPENDS ${VELMOR_MAN_PAGE})
install(FILES ${VELMOR_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${VELMOR_SOURCE_DIR}/docs/velmor-pack.md ${VELMOR_SOURCE_DIR}/README.md
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
