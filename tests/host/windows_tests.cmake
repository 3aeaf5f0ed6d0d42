# The host tests of velmor-pack.exe, built for Windows and run under 64-bit Wine
# (CMAKE_CROSSCOMPILING_EMULATOR), label host-windows. The tests about Linux alone stay
# in the Linux tree: signing through osslsigncode (signing_test.cpp), and, behind
# _WIN32 in the shared files, mode bits, FIFOs, signals, POSIX links, prlimit and the
# peer SZDD tools.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_executable(velmor-host-tests
  host_support.cpp
  record_writer_test.cpp
  file_time_text_test.cpp
  package_plan_test.cpp
  setup_lookup_test.cpp
  profile_file_test.cpp
  szdd_match_finder_test.cpp
  ordered_work_test.cpp
  package_reader_checks_test.cpp
  windows_names_test.cpp
  package_reader_test.cpp
  case_folding_test.cpp
  szdd_expand_test.cpp
  package_signature_test.cpp
  windows_signing_test.cpp
  windows_files_test.cpp
  package_commands_test.cpp
  create_command_test.cpp
  conventions_test.cpp
  destructive_input_test.cpp
  robustness_test.cpp
  szdd_test.cpp
  which_setup_test.cpp
  bounded_memory_test.cpp)
target_link_libraries(velmor-host-tests PRIVATE velmor_pack_commands gtest_main)
target_include_directories(velmor-host-tests PRIVATE ${VELMOR_SOURCE_DIR}/tests/common)
set(VELMOR_I686_STUB "" CACHE FILEPATH "The shipped stub, which tests read as a package's program")
target_compile_definitions(velmor-host-tests PRIVATE
  VELMOR_PACK_PATH="${CMAKE_BINARY_DIR}/velmor-pack.exe"
  VELMOR_I686_STUB="${VELMOR_I686_STUB}"
  VELMOR_SOURCE_DIR="${VELMOR_SOURCE_DIR}")
target_link_options(velmor-host-tests PRIVATE -static)
# signtool's part in signing, played by a program that signs as signtool does.
add_executable(velmor-signtool-stand-in signtool_stand_in.cpp)
target_link_options(velmor-signtool-stand-in PRIVATE -static)
add_dependencies(velmor-host-tests velmor-signtool-stand-in)
target_compile_definitions(velmor-host-tests PRIVATE
  VELMOR_SIGNTOOL_STAND_IN="$<TARGET_FILE:velmor-signtool-stand-in>")
include(GoogleTest)
gtest_discover_tests(velmor-host-tests DISCOVERY_MODE PRE_TEST TEST_PREFIX host-windows.
  PROPERTIES LABELS host-windows DISCOVERY_TIMEOUT 60)
