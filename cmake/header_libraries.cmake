# CLI11 (argument parsing) and nlohmann-json (JSON): header-only Debian
# packages (libcli11-dev, nlohmann-json3-dev). A native build takes their CMake
# packages. A cross build takes only their own header folders, linked into the
# build tree, so that no other header of the host's /usr/include is seen.
if(CMAKE_CROSSCOMPILING)
  set(_statvtk_headers ${CMAKE_BINARY_DIR}/header-libraries)
  file(MAKE_DIRECTORY ${_statvtk_headers})
  foreach(_pair "CLI;CLI11::CLI11;libcli11-dev" "nlohmann;nlohmann_json::nlohmann_json;nlohmann-json3-dev")
    list(GET _pair 0 _folder)
    list(GET _pair 1 _target)
    list(GET _pair 2 _package)
    if(NOT IS_DIRECTORY /usr/include/${_folder})
      message(FATAL_ERROR "/usr/include/${_folder} is missing: install ${_package} (scripts/deps)")
    endif()
    file(CREATE_LINK /usr/include/${_folder} ${_statvtk_headers}/${_folder} SYMBOLIC)
    add_library(${_target} INTERFACE IMPORTED)
    set_target_properties(${_target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${_statvtk_headers}
                                                INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${_statvtk_headers})
  endforeach()
else()
  find_package(CLI11 2.1 REQUIRED CONFIG)
  find_package(nlohmann_json 3.10 REQUIRED)
endif()
