# statvtk_core_library(NAME SOURCES a.cpp ... SEAMS stem ... DEPENDS lib ...)
# One core layer as a static library. SOURCES are built on every system;
# each SEAMS stem adds stem_posix.cpp or stem_win32.cpp, the side of the
# target system. DEPENDS names the lower layers it may use: a layer links
# only those, so using a higher layer fails to link (and the include check
# in tests/layers refuses the include itself).
function(statvtk_core_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;SEAMS;DEPENDS" ${ARGN})
  set(_srcs ${ARG_SOURCES})
  foreach(_stem ${ARG_SEAMS})
    if(WIN32)
      list(APPEND _srcs ${_stem}_win32.cpp)
    else()
      list(APPEND _srcs ${_stem}_posix.cpp)
    endif()
  endforeach()
  add_library(${name} STATIC ${_srcs})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
endfunction()
