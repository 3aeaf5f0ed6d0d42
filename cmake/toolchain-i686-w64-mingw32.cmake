# 32-bit Windows: the build that ships.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VELMOR_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# i686 decorates C symbols with a leading underscore.
set(VELMOR_SYMBOL_PREFIX "_")
