# Builds the i686 and the x86_64 Windows trees as sub-builds of the host tree, in
# build/i686 and build/x86_64, so that one configure, one build and one ctest cover all.
include(ExternalProject)

set(VELMOR_I686_DIR ${CMAKE_BINARY_DIR}/i686)
set(VELMOR_X86_64_DIR ${CMAKE_BINARY_DIR}/x86_64)

foreach(arch i686 x86_64)
  ExternalProject_Add(windows-${arch}
    SOURCE_DIR ${VELMOR_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/${arch}
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${VELMOR_SOURCE_DIR}/cmake/toolchain-${arch}-w64-mingw32.cmake
      -DCMAKE_BUILD_TYPE=MinSizeRel
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    USES_TERMINAL_BUILD ON)
endforeach()
