# Install and desktop integration checks (Linux): shell scripts run by CTest;
# a checking tool that is missing fails them.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux" OR CMAKE_CROSSCOMPILING)
  return()
endif()
set(_dir ${CMAKE_CURRENT_LIST_DIR})

add_test(NAME install.installed_programs
         COMMAND bash ${_dir}/installed_programs.sh ${CMAKE_COMMAND} ${CMAKE_BINARY_DIR} ${PROJECT_VERSION}
                 $<IF:$<TARGET_EXISTS:statvtk>,1,0> $<IF:$<BOOL:${STATVTK_HELP2MAN}>,1,0>)
add_test(NAME install.desktop_entry COMMAND bash ${_dir}/check_files.sh desktop ${CMAKE_SOURCE_DIR})
add_test(NAME install.mime_types COMMAND bash ${_dir}/check_files.sh mime ${CMAKE_SOURCE_DIR})
add_test(NAME install.changelog_version
         COMMAND bash ${_dir}/check_files.sh changelog ${CMAKE_SOURCE_DIR} ${PROJECT_VERSION})
set(_tests install.installed_programs install.desktop_entry install.mime_types install.changelog_version)
if(STATVTK_HELP2MAN)
  add_test(NAME install.man_pages COMMAND bash ${_dir}/check_files.sh man ${CMAKE_BINARY_DIR} ${PROJECT_VERSION})
  list(APPEND _tests install.man_pages)
endif()
set_tests_properties(${_tests} PROPERTIES TIMEOUT 300)
