# The collector's status page: HTML, CSS and JavaScript in their own files
# (src/collect/http/page/), made into one C++ source at build time by
# cmake/embed_page.cmake; an edit of any of them makes it again.
set(_page_dir ${CMAKE_SOURCE_DIR}/src/collect/http/page)
set(_page_source ${CMAKE_BINARY_DIR}/generated/collect/http_page_bytes.cpp)
add_custom_command(
  OUTPUT ${_page_source}
  COMMAND ${CMAKE_COMMAND} -DPAGE_DIR=${_page_dir} -DOUT=${_page_source} -P
          ${CMAKE_SOURCE_DIR}/cmake/embed_page.cmake
  DEPENDS ${_page_dir}/index.html ${_page_dir}/page.css ${_page_dir}/page.js ${_page_dir}/situations.js ${CMAKE_SOURCE_DIR}/cmake/embed_page.cmake
  COMMENT "Embedding the status page (src/collect/http/page)"
  VERBATIM)
target_sources(statvtk-collect_lib PRIVATE ${_page_source})
