# Report templates: a small generator over libxlsxwriter writes them into
# ${CMAKE_BINARY_DIR}/Templates at build time; cmake/install.cmake installs them.
add_executable(make_templates ${CMAKE_SOURCE_DIR}/tools/make_templates.c)
target_link_libraries(make_templates PRIVATE PkgConfig::XLSXWRITER)
set_target_properties(make_templates PROPERTIES C_STANDARD 11 C_STANDARD_REQUIRED ON)

set(STATVTK_TEMPLATE_FILES)
foreach(name VTK0812 VTK0814 VTK0814_no_T LDN)
  foreach(kind h d)
    list(APPEND STATVTK_TEMPLATE_FILES ${CMAKE_BINARY_DIR}/Templates/${name}_${kind}.xlsx)
  endforeach()
endforeach()

add_custom_command(
  OUTPUT ${STATVTK_TEMPLATE_FILES}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/Templates
  COMMAND make_templates ${CMAKE_BINARY_DIR}/Templates
  DEPENDS make_templates ${CMAKE_SOURCE_DIR}/tools/make_templates.c
  COMMENT "Generating the report templates"
  VERBATIM)
add_custom_target(statvtk_templates ALL DEPENDS ${STATVTK_TEMPLATE_FILES})
# The core finds the build's templates at STATVTK_BUILD_TEMPLATE_DIR: tests need them.
add_dependencies(statvtk_reports statvtk_templates)
