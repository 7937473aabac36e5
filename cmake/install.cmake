# What `cmake --install` puts where: programs in bin/, report templates in
# share/statvtk/Templates/, documentation in share/doc/statvtk/, manual pages
# in share/man/man1/ and, on Linux, the desktop entry, icon and statistics file
# types. The programs find their shared files relative to their own folder,
# so an install under any --prefix (or a moved one) works.
include(GNUInstallDirs)

if(NOT DEFINED STATVTK_INSTALL_TEMPLATEDIR)
  set(STATVTK_INSTALL_TEMPLATEDIR ${CMAKE_INSTALL_DATADIR}/statvtk/Templates)
endif()
if(NOT DEFINED STATVTK_INSTALL_DOCDIR)
  set(STATVTK_INSTALL_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/statvtk)
endif()
set(STATVTK_INSTALL_BINDIR bin)  # the front ends install their programs there

# The core looks for its shared files at these paths from the program's folder.
file(RELATIVE_PATH _statvtk_rel_templates /_/${STATVTK_INSTALL_BINDIR} /_/${STATVTK_INSTALL_TEMPLATEDIR})
file(RELATIVE_PATH _statvtk_rel_doc /_/${STATVTK_INSTALL_BINDIR} /_/${STATVTK_INSTALL_DOCDIR})
target_compile_definitions(statvtk_base PRIVATE
  STATVTK_RELATIVE_TEMPLATE_DIR="${_statvtk_rel_templates}"
  STATVTK_RELATIVE_DOC_DIR="${_statvtk_rel_doc}")

if(STATVTK_TEMPLATE_FILES)
  install(FILES ${STATVTK_TEMPLATE_FILES} DESTINATION ${STATVTK_INSTALL_TEMPLATEDIR})
endif()

# The documentation, the user guide among it, and its pictures when there are any.
file(GLOB _statvtk_docs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/*.md)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${_statvtk_docs} DESTINATION ${STATVTK_INSTALL_DOCDIR})
if(IS_DIRECTORY ${CMAKE_SOURCE_DIR}/docs/images)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/images DESTINATION ${STATVTK_INSTALL_DOCDIR})
endif()

if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  return()
endif()

set(STATVTK_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(STATVTK_GENERATED_DIR ${CMAKE_BINARY_DIR}/share)
find_program(STATVTK_GZIP gzip)
find_program(STATVTK_HELP2MAN help2man)
find_program(STATVTK_RSVG_CONVERT rsvg-convert)

# Debian's documentation files: copyright, the changelog (compressed, as
# Debian policy wants) and the notes on serial port access.
add_custom_command(
  OUTPUT ${STATVTK_GENERATED_DIR}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${STATVTK_GENERATED_DIR}
  COMMAND ${STATVTK_GZIP} -9n -c ${STATVTK_PACKAGING_DIR}/debian/changelog > ${STATVTK_GENERATED_DIR}/changelog.gz
  DEPENDS ${STATVTK_PACKAGING_DIR}/debian/changelog
  COMMENT "Compressing the changelog")
set(_statvtk_generated ${STATVTK_GENERATED_DIR}/changelog.gz)
install(FILES ${STATVTK_GENERATED_DIR}/changelog.gz
              ${STATVTK_PACKAGING_DIR}/debian/copyright
              ${STATVTK_PACKAGING_DIR}/debian/README.Debian
        DESTINATION ${STATVTK_INSTALL_DOCDIR})

# Manual pages of the command-line programs, made from their own --help and
# --version output, so they never drift from the programs.
function(statvtk_man_page prog name)
  set(_page ${STATVTK_GENERATED_DIR}/man/${prog}.1)
  add_custom_command(
    OUTPUT ${_page} ${_page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${STATVTK_GENERATED_DIR}/man
    COMMAND ${STATVTK_HELP2MAN} --no-info --section=1 --name=${name} --output=${_page} $<TARGET_FILE:${prog}>
    COMMAND ${STATVTK_GZIP} -9n -k -f ${_page}
    DEPENDS ${prog}
    COMMENT "Writing the manual page of ${prog}"
    VERBATIM)
  set(_statvtk_generated ${_statvtk_generated} ${_page}.gz PARENT_SCOPE)
  install(FILES ${_page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
if(STATVTK_HELP2MAN AND NOT CMAKE_CROSSCOMPILING)
  foreach(_prog statvtk-cli statvtk-sim statvtk-collect)
    if(TARGET ${_prog})
      if(_prog STREQUAL "statvtk-cli")
        statvtk_man_page(${_prog} "read, show and report flowmeter statistics")
      elseif(_prog STREQUAL "statvtk-collect")
        statvtk_man_page(${_prog} "collect flowmeter statistics from a fleet into a record store")
      else()
        statvtk_man_page(${_prog} "simulated VTK-08.12, VTK-08.14 and LDN-08 flowmeter")
      endif()
    endif()
  endforeach()
else()
  message(STATUS "help2man not found: no manual pages (scripts/deps installs it)")
endif()

# The collector as a system service: its unit and its system user (in dialout
# for the serial ports), made by the package's postinst.
if(TARGET statvtk-collect)
  install(FILES ${STATVTK_PACKAGING_DIR}/linux/statvtk-collect.service DESTINATION lib/systemd/system)
  install(FILES ${STATVTK_PACKAGING_DIR}/linux/statvtk-sysusers.conf DESTINATION lib/sysusers.d RENAME statvtk.conf)
  # Example Prometheus alert rules for its /metrics.
  install(FILES ${STATVTK_PACKAGING_DIR}/linux/statvtk-collect-alerts.yml
          DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
endif()

# The file types: .vst (VTK-08.12), .814 (VTK-08.14 C/CM), .ldn (LDN-08).
install(FILES ${STATVTK_PACKAGING_DIR}/linux/statvtk-mime.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME statvtk.xml)

# The icon: the SVG, and a 256 px PNG rendered from it.
if(STATVTK_RSVG_CONVERT)
  add_custom_command(
    OUTPUT ${STATVTK_GENERATED_DIR}/statvtk.png
    COMMAND ${CMAKE_COMMAND} -E make_directory ${STATVTK_GENERATED_DIR}
    COMMAND ${STATVTK_RSVG_CONVERT} -w 256 -h 256 -o ${STATVTK_GENERATED_DIR}/statvtk.png
            ${STATVTK_PACKAGING_DIR}/linux/statvtk.svg
    DEPENDS ${STATVTK_PACKAGING_DIR}/linux/statvtk.svg
    COMMENT "Rendering the 256 px icon"
    VERBATIM)
  list(APPEND _statvtk_generated ${STATVTK_GENERATED_DIR}/statvtk.png)
else()
  message(STATUS "rsvg-convert not found: the icon is installed as SVG only (scripts/deps installs librsvg2-bin)")
endif()

# The desktop program's manual page is written by hand (it has no --help).
add_custom_command(
  OUTPUT ${STATVTK_GENERATED_DIR}/man/statvtk.1.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${STATVTK_GENERATED_DIR}/man
  COMMAND ${STATVTK_GZIP} -9n -c ${STATVTK_PACKAGING_DIR}/linux/statvtk.1 > ${STATVTK_GENERATED_DIR}/man/statvtk.1.gz
  DEPENDS ${STATVTK_PACKAGING_DIR}/linux/statvtk.1
  COMMENT "Compressing the manual page of statvtk")
list(APPEND _statvtk_generated ${STATVTK_GENERATED_DIR}/man/statvtk.1.gz)
add_custom_target(statvtk_install_files ALL DEPENDS ${_statvtk_generated})

# The desktop entry, icon and manual page belong to the desktop program: they
# are installed when it is built. Checked once every folder has been read,
# since src/app may come after this file.
function(statvtk_install_desktop_program)
  if(NOT TARGET statvtk)
    return()
  endif()
  install(FILES ${STATVTK_PACKAGING_DIR}/linux/statvtk.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${STATVTK_PACKAGING_DIR}/linux/statvtk.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  if(STATVTK_RSVG_CONVERT)
    install(FILES ${STATVTK_GENERATED_DIR}/statvtk.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)
  endif()
  install(FILES ${STATVTK_GENERATED_DIR}/man/statvtk.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
cmake_language(DEFER CALL statvtk_install_desktop_program)
