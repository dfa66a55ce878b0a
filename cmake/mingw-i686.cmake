# The shipped program: 32-bit Windows, its tests run under wine64 in WoW64 mode.
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
