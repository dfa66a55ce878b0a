# The shipped program's 32-bit Windows build in Visual Studio's dialect, with clang-cl.
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/clang-cl-msvc.cmake)
