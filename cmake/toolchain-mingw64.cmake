# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (POSIX threads
# variant, so std::thread and std::mutex work). Programs built here run under
# Wine when CMake or CTest needs to run them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(STATVTK_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${STATVTK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${STATVTK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${STATVTK_MINGW_TRIPLE}-windres)

# Libraries built for Windows (libzip, pugixml, GoogleTest) are installed
# under a prefix given with -DCMAKE_PREFIX_PATH; the system's mingw folder
# holds zlib and the runtime.
set(CMAKE_FIND_ROOT_PATH /usr/${STATVTK_MINGW_TRIPLE} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(STATVTK_WINE NAMES wine wine64)
if(STATVTK_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${STATVTK_WINE})
endif()

# pkg-config looks only at the Windows libraries, never at the host's.
set(ENV{PKG_CONFIG_PATH} "")
set(_statvtk_pc /usr/${STATVTK_MINGW_TRIPLE}/lib/pkgconfig)
foreach(_p IN LISTS CMAKE_PREFIX_PATH)
  set(_statvtk_pc "${_p}/lib/pkgconfig:${_statvtk_pc}")
endforeach()
set(ENV{PKG_CONFIG_LIBDIR} "${_statvtk_pc}")
