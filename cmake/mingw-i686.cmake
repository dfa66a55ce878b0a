# The shipped program: 32-bit Windows, its tests run on Wine's 32-bit loader in a 64-bit prefix.
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
