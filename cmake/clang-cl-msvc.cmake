# What both clang-cl toolchain files share: the program built in Visual Studio's dialect and
# ABI without Visual Studio, for the processor the including file names in
# CMAKE_SYSTEM_PROCESSOR. clang-cl, lld-link and llvm-rc (Debian 13's LLVM 19) against the
# Windows SDK headers and import libraries that Wine's development package carries; the C
# runtime's start-up, which only Visual Studio has, from cmake/msvc-crt. Program only: the
# tests are GoogleTest programs that need a C++ library, and are built by mingw-w64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL i686)
  set(wine_arch i386)
else()
  set(wine_arch ${CMAKE_SYSTEM_PROCESSOR})
endif()
set(clang_target ${CMAKE_SYSTEM_PROCESSOR}-pc-windows-msvc)

set(llvm_hints /usr/lib/llvm-19/bin)
# Debian's clang package has no clang-cl command; clang is clang-cl when called by that name.
find_program(CLANG_CL NAMES clang-cl clang-cl-19 HINTS ${llvm_hints})
if(NOT CLANG_CL)
  find_program(CLANG NAMES clang-19 clang HINTS ${llvm_hints} REQUIRED)
  set(CLANG_CL ${CMAKE_BINARY_DIR}/llvm/clang-cl)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/llvm)
  file(CREATE_LINK ${CLANG} ${CLANG_CL} SYMBOLIC)
endif()
find_program(LLD_LINK NAMES lld-link lld-link-19 HINTS ${llvm_hints} REQUIRED)
find_program(LLVM_RC NAMES llvm-rc llvm-rc-19 HINTS ${llvm_hints} REQUIRED)
find_program(LLVM_LIB NAMES llvm-lib llvm-lib-19 HINTS ${llvm_hints} REQUIRED)
set(CMAKE_C_COMPILER ${CLANG_CL})
set(CMAKE_CXX_COMPILER ${CLANG_CL})
set(CMAKE_C_COMPILER_TARGET ${clang_target})
set(CMAKE_CXX_COMPILER_TARGET ${clang_target})
set(CMAKE_LINKER ${LLD_LINK})
set(CMAKE_AR ${LLVM_LIB})
set(CMAKE_RC_COMPILER ${LLVM_RC})
# No program links without the stand-in start-up, which the project itself builds
# (cmake/msvc-crt): CMake's compiler checks build a library instead.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

# Wine's SDK: its headers stand in for the Windows SDK's and the C runtime's, searched as
# system headers (/imsvc) like Visual Studio's INCLUDE; the stand-in's own folder adds <new>.
# The C library is msvcrt.dll's, which Wine's headers know as version 0; by default they
# describe the universal runtime, whose formatting functions msvcrt.dll lacks. WCHAR is wchar_t,
# as in the Windows SDK (wchar_t is 16 bits in Visual Studio's ABI); otherwise Wine's headers
# make it char16_t in C++, and an L"" literal would not convert to LPCWSTR.
set(WINE_SDK_INCLUDE /usr/include/wine/wine)
foreach(lang C CXX)
  set(CMAKE_${lang}_FLAGS_INIT "/imsvc ${CMAKE_CURRENT_LIST_DIR}/msvc-crt/include /imsvc ${WINE_SDK_INCLUDE}/msvcrt /imsvc ${WINE_SDK_INCLUDE}/windows /D_MSVCR_VER=0 /DWINE_UNICODE_NATIVE")
endforeach()
# llvm-rc preprocesses with clang, for the target's macros.
set(CMAKE_RC_FLAGS_INIT "/I ${WINE_SDK_INCLUDE}/windows /I ${WINE_SDK_INCLUDE}/msvcrt")

# Wine's import libraries are named as GNU ld names them (libkernel32.a); lld-link looks for
# kernel32.lib. A folder of links under the build folder gives them Visual Studio's names.
file(GLOB wine_libraries /usr/lib/*/wine/${wine_arch}-windows/lib*.a)
if(NOT wine_libraries)
  message(FATAL_ERROR "No Wine import libraries for ${wine_arch} in /usr/lib/*/wine/"
                      "${wine_arch}-windows: install libwine-dev (scripts/setup.sh)")
endif()
set(wine_lib_links ${CMAKE_BINARY_DIR}/wine-lib)
file(MAKE_DIRECTORY ${wine_lib_links})
foreach(library IN LISTS wine_libraries)
  get_filename_component(name ${library} NAME_WE)
  string(REGEX REPLACE "^lib" "" name ${name})
  if(NOT EXISTS ${wine_lib_links}/${name}.lib)
    file(CREATE_LINK ${library} ${wine_lib_links}/${name}.lib SYMBOLIC)
  endif()
endforeach()
# On x86 /SAFESEH takes only objects that declare their exception handlers, and the import
# objects in Wine's libraries (GNU dlltool's) declare nothing: the libraries the program links
# are made again as Visual Studio's short import libraries, from the imports Wine's list.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL i686)
  find_program(LLVM_NM NAMES llvm-nm llvm-nm-19 HINTS ${llvm_hints} REQUIRED)
  find_program(LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-19 HINTS ${llvm_hints} REQUIRED)
  foreach(name kernel32 user32 gdi32 advapi32 ole32 oleaut32 shell32 comdlg32 winspool msvcrt)
    set(wine_library ${wine_lib_links}/${name}.lib)
    set(short_library ${CMAKE_BINARY_DIR}/wine-lib-short/${name}.lib)
    if(EXISTS ${short_library})
      continue()
    endif()
    execute_process(COMMAND ${LLVM_NM} ${wine_library} OUTPUT_VARIABLE symbols
                    COMMAND_ERROR_IS_FATAL ANY)
    # "I __imp__Name@N" is an import; one without a thunk of its own ("T _Name@N") is data.
    string(REGEX MATCHALL "[IT] _[^\n]+" entries "${symbols}")
    set(thunks "")
    set(imports "")
    foreach(entry IN LISTS entries)
      if(entry MATCHES "^T _(.+)$")
        list(APPEND thunks "${CMAKE_MATCH_1}")
      elseif(entry MATCHES "^I __imp__(.+)$")
        list(APPEND imports "${CMAKE_MATCH_1}")
      endif()
    endforeach()
    set(definition "LIBRARY ${name}.dll\nEXPORTS\n")
    foreach(import IN LISTS imports)
      if(import IN_LIST thunks)
        string(APPEND definition "${import}\n")
      else()
        string(APPEND definition "${import} DATA\n")
      endif()
    endforeach()
    file(WRITE ${CMAKE_BINARY_DIR}/wine-lib-short/${name}.def "${definition}")
    # -k: the DLL's names have no @N, which the x86 names of __stdcall functions carry.
    execute_process(COMMAND ${LLVM_DLLTOOL} -m i386 -k -d ${CMAKE_BINARY_DIR}/wine-lib-short/${name}.def
                      -l ${short_library} COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
  set(wine_lib_links "${CMAKE_BINARY_DIR}/wine-lib-short /libpath:${wine_lib_links}")
endif()
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "/libpath:${wine_lib_links}")
endforeach()

# The program links the stand-in start-up instead of Visual Studio's runtime.
set(FINISHINSTALL_MSVC_STAND_IN_CRT ON CACHE BOOL "Link cmake/msvc-crt's start-up (clang-cl without Visual Studio)")
