# Cross build for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix):
#   cmake -S . -B build-windows --toolchain cmake/mingw-w64-x86_64.cmake
# gives compensation.dll with its import library libcompensation.dll.a, compensate.exe, the
# simulator and the test suite, which CTest runs under Wine (wine64) when it is installed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(COMPENSATION_MINGW_TRIPLE x86_64-w64-mingw32)
# The posix thread model: GoogleTest and std::thread need it; the win32 one lacks std::mutex.
set(CMAKE_C_COMPILER ${COMPENSATION_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${COMPENSATION_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${COMPENSATION_MINGW_TRIPLE}-windres)

# The GCC runtime, the C++ library and the threads library go into each module, so that the
# DLL and the programs need nothing beside them but the system's own DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# Libraries and headers come from the target's sysroot only. The header-only libraries the
# tool uses (CLI11, nlohmann-json, fccp) are the host's /usr/include: they are offered through
# a prefix of links to exactly those directories and their package files, never /usr/include
# as a whole, whose C library headers would shadow the target's.
set(COMPENSATION_HEADER_ONLY_PREFIX ${CMAKE_BINARY_DIR}/header-only)
get_property(COMPENSATION_IN_TRY_COMPILE GLOBAL PROPERTY IN_TRY_COMPILE)
if(NOT COMPENSATION_IN_TRY_COMPILE)
  foreach(entry include/CLI include/nlohmann include/libfccp share/cmake/CLI11
      share/cmake/nlohmann_json)
    if(EXISTS /usr/${entry} AND NOT EXISTS ${COMPENSATION_HEADER_ONLY_PREFIX}/usr/${entry})
      get_filename_component(parent ${COMPENSATION_HEADER_ONLY_PREFIX}/usr/${entry} DIRECTORY)
      file(MAKE_DIRECTORY ${parent})
      file(CREATE_LINK /usr/${entry} ${COMPENSATION_HEADER_ONLY_PREFIX}/usr/${entry} SYMBOLIC)
    endif()
  endforeach()
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${COMPENSATION_MINGW_TRIPLE} ${COMPENSATION_HEADER_ONLY_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The programs built here (the test suite, and its discovery of the tests) run under Wine, in
# a Wine prefix of the build tree's own unless WINEPREFIX names one, without Wine's diagnostics
# and without the Mono and Gecko installers its first start would offer.
find_program(COMPENSATION_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(COMPENSATION_WINE)
  if(DEFINED ENV{WINEPREFIX})
    set(COMPENSATION_WINEPREFIX $ENV{WINEPREFIX})
  else()
    set(COMPENSATION_WINEPREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
  endif()
  set(CMAKE_CROSSCOMPILING_EMULATOR env WINEPREFIX=${COMPENSATION_WINEPREFIX} WINEDEBUG=-all
    "WINEDLLOVERRIDES=mscoree,mshtml=" ${COMPENSATION_WINE})
endif()
