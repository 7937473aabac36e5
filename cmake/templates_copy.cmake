# Report templates taken ready-made from STATVTK_TEMPLATES_FROM (a Linux
# build's Templates folder) into ${CMAKE_BINARY_DIR}/Templates.
set(STATVTK_TEMPLATE_FILES)
foreach(name VTK0812 VTK0814 VTK0814_no_T LDN)
  foreach(kind h d)
    set(_from ${STATVTK_TEMPLATES_FROM}/${name}_${kind}.xlsx)
    set(_to ${CMAKE_BINARY_DIR}/Templates/${name}_${kind}.xlsx)
    add_custom_command(OUTPUT ${_to}
      COMMAND ${CMAKE_COMMAND} -E copy ${_from} ${_to}
      DEPENDS ${_from} VERBATIM)
    list(APPEND STATVTK_TEMPLATE_FILES ${_to})
  endforeach()
endforeach()
add_custom_target(statvtk_templates ALL DEPENDS ${STATVTK_TEMPLATE_FILES})
add_dependencies(statvtk_reports statvtk_templates)
