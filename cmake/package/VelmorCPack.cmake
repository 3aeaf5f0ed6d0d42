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
# The values reach velmor-pack as they were set, whatever CPACK_VERBATIM_VARIABLES
# says, and the module leaves that variable, like the rest of the project's CPack
# settings, as the project set it. A CPACK_VELMOR_* name not in the list above is
# warned about, with the nearest name that is.
if(NOT TARGET velmor::velmor-pack)
  message(FATAL_ERROR "VelmorCPack: call find_package(velmor) before include(VelmorCPack)")
endif()
if(CPack_CMake_INCLUDED)
  message(FATAL_ERROR "VelmorCPack: include(VelmorCPack) comes after include(CPack), which has written"
                      " CPackConfig.cmake without it already: put include(VelmorCPack) before include(CPack)")
endif()
get_target_property(_velmor_cpack_program velmor::velmor-pack LOCATION)
set(_velmor_cpack_base_dir "${CMAKE_CURRENT_SOURCE_DIR}")
set(_velmor_cpack_script "${CMAKE_CURRENT_LIST_DIR}/VelmorCPackScript.cmake")

# Runs as include(CPack) begins (it sets CPack_CMake_INCLUDED first), so that what the
# project set until then is what CPack writes into CPackConfig.cmake.
function(_velmor_cpack_prepare variable access)
  if(NOT access STREQUAL "MODIFIED_ACCESS")
    return()
  endif()
  set(known MODE FOLDER RUN DESCRIPTION DESCRIPTION_FILE CODEPAGE COMPRESS CONFIG STUB SIGN_CERT SIGN_KEY
            SIGN_PKCS12 SIGN_PASSWORD_FILE SIGN_PASSWORD_ENV SIGN_TIMESTAMP SIGN_DESCRIPTION SIGN_URL OPTIONS
            FILE_NAME PACK_PROGRAM BASE_DIR)
  list(TRANSFORM known PREPEND CPACK_VELMOR_)
  get_cmake_property(defined VARIABLES)
  list(FILTER defined INCLUDE REGEX "^CPACK_VELMOR_")
  foreach(name IN LISTS defined)
    if(NOT name IN_LIST known)
      _velmor_closest_name(near "${name}" ${known})
      # Other installers name the destination folder so.
      if(name MATCHES "_(DIR|DIRECTORY|DESTINATION|INSTALL_DIR|PATH)$")
        set(near CPACK_VELMOR_FOLDER)
      endif()
      string(REPLACE ";" ", " names "${known}")
      string(REPLACE "CPACK_VELMOR_" "" names "${names}")
      message(WARNING "VelmorCPack: ${name} is no setting of the velmor package and is ignored;"
                      " did you mean ${near}? (CPACK_VELMOR_ and one of: ${names})")
    endif()
  endforeach()

  set(generators ${CPACK_GENERATOR})
  if(NOT "External" IN_LIST generators)
    list(APPEND generators External)
  endif()
  set(CPACK_GENERATOR "${generators}" PARENT_SCOPE)
  set(CPACK_EXTERNAL_ENABLE_STAGING ON PARENT_SCOPE)
  set(CPACK_VELMOR_PACK_PROGRAM "${_velmor_cpack_program}")
  set(CPACK_VELMOR_BASE_DIR "${_velmor_cpack_base_dir}")
  set(CPACK_EXTERNAL_PACKAGE_SCRIPT "${_velmor_cpack_script}")
  # CPack writes each value between quotes into CPackConfig.cmake, escaped only with
  # CPACK_VERBATIM_VARIABLES on; without it, velmor's own values are escaped here as
  # CPack would, so that cpack reads back what was set (the backslashes of a Windows
  # path, a quote, a $). After include(CPack) the project sees them so escaped.
  foreach(name IN LISTS known ITEMS CPACK_EXTERNAL_PACKAGE_SCRIPT)
    if(DEFINED ${name})
      set(value "${${name}}")
      if(NOT CPACK_VERBATIM_VARIABLES)
        string(REGEX REPLACE "([\\\$\"])" "\\\\\\1" value "${value}")
      endif()
      set(${name} "${value}" PARENT_SCOPE)
    endif()
  endforeach()
endfunction()
variable_watch(CPack_CMake_INCLUDED _velmor_cpack_prepare)
