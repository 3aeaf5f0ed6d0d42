# Builds the Windows trees as sub-builds of the host tree, so that one configure, one
# build and one ctest cover all:
# - build/i686 always: the programs that ship;
# - the tree named by VELMOR_WINDOWS_TEST_ARCH also builds the Windows-side tests and
#   the programs that drive packages under Wine. That is i686, so that the tests run
#   the very files that ship; x86_64 only where this machine cannot run 32-bit
#   Windows programs (kit decides, after trying one). The x86_64 tree is built only then.
include(ExternalProject)

set(VELMOR_WINDOWS_TEST_ARCH i686 CACHE STRING
  "Windows tree that builds and runs the Windows-side tests: i686, or x86_64 where 32-bit Wine cannot run")
set_property(CACHE VELMOR_WINDOWS_TEST_ARCH PROPERTY STRINGS i686 x86_64)
if(NOT VELMOR_WINDOWS_TEST_ARCH MATCHES "^(i686|x86_64)$")
  message(FATAL_ERROR "VELMOR_WINDOWS_TEST_ARCH must be i686 or x86_64, not '${VELMOR_WINDOWS_TEST_ARCH}'")
endif()

set(VELMOR_I686_DIR ${CMAKE_BINARY_DIR}/i686)
set(VELMOR_WINDOWS_TEST_DIR ${CMAKE_BINARY_DIR}/${VELMOR_WINDOWS_TEST_ARCH})
# The scripts that run packages under Wine (demo, pictures, benchmarks) read it here.
file(WRITE ${CMAKE_BINARY_DIR}/windows-test-arch "${VELMOR_WINDOWS_TEST_ARCH}\n")

set(arches i686)
if(NOT VELMOR_WINDOWS_TEST_ARCH STREQUAL "i686")
  list(APPEND arches ${VELMOR_WINDOWS_TEST_ARCH})
endif()
foreach(arch ${arches})
  if(arch STREQUAL VELMOR_WINDOWS_TEST_ARCH AND VELMOR_TESTS)
    set(with_tests ON)
  else()
    set(with_tests OFF)
  endif()
  ExternalProject_Add(windows-${arch}
    SOURCE_DIR ${VELMOR_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/${arch}
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${VELMOR_SOURCE_DIR}/cmake/toolchain-${arch}-w64-mingw32.cmake
      -DCMAKE_BUILD_TYPE=MinSizeRel
      -DVELMOR_WINDOWS_TESTS=${with_tests}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    USES_TERMINAL_BUILD ON)
endforeach()

# The Windows packer takes the language table this tree writes: ICU's data, which
# writes it, has no Windows build here.
set(VELMOR_WINDOWS_PACKER_DIR ${CMAKE_BINARY_DIR}/windows-packer)
ExternalProject_Add(windows-packer
  SOURCE_DIR ${VELMOR_SOURCE_DIR}
  BINARY_DIR ${VELMOR_WINDOWS_PACKER_DIR}
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${VELMOR_SOURCE_DIR}/cmake/toolchain-x86_64-w64-mingw32.cmake
    -DCMAKE_BUILD_TYPE=Release
    -DVELMOR_WINDOWS_PACKER=ON
    -DVELMOR_TESTS=${VELMOR_TESTS}
    -DVELMOR_WINDOWS_LANGUAGES_TABLE=${CMAKE_BINARY_DIR}/packer/generated/windows_languages.inc
    -DVELMOR_I686_STUB=${VELMOR_I686_DIR}/velmor.exe
  DEPENDS velmor-windows-languages
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  USES_TERMINAL_BUILD ON)
