# include(VelmorCPack), after find_package(velmor) and before include(CPack): cpack
# then packs what `cmake --install` installs, with its folders, into a velmor package
# <CPACK_PACKAGE_NAME>-<CPACK_PACKAGE_VERSION>.exe, through CPack's External generator.
# The package's settings come from CPACK_VELMOR_* variables, each given to
# `velmor-pack create` as the option named beside it:
#   CPACK_VELMOR_MODE              --mode extract|setup
#   CPACK_VELMOR_FOLDER            --folder (a Windows path)
#   CPACK_VELMOR_RUN               --run (the setup program, a path in the package)
#   CPACK_VELMOR_DESCRIPTION       --description
#   CPACK_VELMOR_DESCRIPTION_FILE  --description-file
#   CPACK_VELMOR_CODEPAGE          --codepage
#   CPACK_VELMOR_COMPRESS          ON: --compress, BEST: --compress --best
#   CPACK_VELMOR_CONFIG            --config (a recipe; the variables override it)
#   CPACK_VELMOR_STUB              --stub
#   CPACK_VELMOR_SIGN_CERT, _KEY, _PKCS12, _PASSWORD_FILE, _PASSWORD_ENV
#                                  --cert, --key, --pkcs12, --password-file, --password-env
#   CPACK_VELMOR_SIGN_TIMESTAMP    --timestamp, once for each URL of the list
#   CPACK_VELMOR_SIGN_DESCRIPTION, CPACK_VELMOR_SIGN_URL   --sign-description, --sign-url
#   CPACK_VELMOR_OPTIONS           any further options, as a list
#   CPACK_VELMOR_FILE_NAME         the package's name without .exe
# A relative file name is taken from the folder of the CMakeLists.txt that includes
# this module. cpack fails with velmor-pack's own message when it refuses a setting.
if(NOT TARGET velmor::velmor-pack)
  message(FATAL_ERROR "VelmorCPack: call find_package(velmor) before include(VelmorCPack)")
endif()
get_target_property(CPACK_VELMOR_PACK_PROGRAM velmor::velmor-pack LOCATION)
set(CPACK_VELMOR_BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
if(NOT "External" IN_LIST CPACK_GENERATOR)
  list(APPEND CPACK_GENERATOR External)
endif()
set(CPACK_EXTERNAL_ENABLE_STAGING ON)
# Windows paths keep their backslashes on their way through CPackConfig.cmake.
if(NOT DEFINED CPACK_VERBATIM_VARIABLES)
  set(CPACK_VERBATIM_VARIABLES ON)
endif()
set(CPACK_EXTERNAL_PACKAGE_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/VelmorCPackScript.cmake")
