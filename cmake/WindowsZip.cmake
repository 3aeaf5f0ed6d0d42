# The packer for Windows users: velmor-<version>-windows-x64.zip beside the Debian
# package, holding velmor-pack.exe, the two programs it packs, the licence, the
# copyright file and the guide. velmor-pack.exe finds velmor.exe beside itself.
# Made by the target windows-zip (./kit package).
set(VELMOR_WINDOWS_ZIP_NAME velmor-${PROJECT_VERSION}-windows-x64)
set(VELMOR_WINDOWS_ZIP ${CMAKE_BINARY_DIR}/package/${VELMOR_WINDOWS_ZIP_NAME}.zip)
set(stage ${CMAKE_BINARY_DIR}/windows-zip/${VELMOR_WINDOWS_ZIP_NAME})
add_custom_target(windows-zip
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${CMAKE_BINARY_DIR}/windows-zip
  COMMAND ${CMAKE_COMMAND} -E make_directory ${stage} ${CMAKE_BINARY_DIR}/package
  COMMAND x86_64-w64-mingw32-strip -o ${stage}/velmor-pack.exe ${VELMOR_WINDOWS_PACKER_DIR}/velmor-pack.exe
  COMMAND ${CMAKE_COMMAND} -E copy ${VELMOR_I686_DIR}/velmor.exe ${VELMOR_I686_DIR}/install.exe
          ${VELMOR_SOURCE_DIR}/LICENSE ${VELMOR_SOURCE_DIR}/cmake/deb/copyright
          ${VELMOR_SOURCE_DIR}/docs/velmor-pack.md ${VELMOR_SOURCE_DIR}/README.md ${stage}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${VELMOR_WINDOWS_ZIP}
  COMMAND ${CMAKE_COMMAND} -E chdir ${CMAKE_BINARY_DIR}/windows-zip
          ${CMAKE_COMMAND} -E tar cf ${VELMOR_WINDOWS_ZIP} --format=zip ${VELMOR_WINDOWS_ZIP_NAME}
  DEPENDS windows-packer windows-i686
  COMMENT "Writing ${VELMOR_WINDOWS_ZIP_NAME}.zip"
  VERBATIM)
