# The 64-bit Windows build in Visual Studio's dialect, with clang-cl.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/clang-cl-msvc.cmake)
