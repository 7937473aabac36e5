# Run by the build (cmake -P): the status page's files made into one C++
# source. The style and the script go inside the HTML in place of the tags
# that name their files, so the page is served as one document; its bytes
# become an array behind StatusPage().
#   -DPAGE_DIR=<folder with index.html, page.css, situations.js, page.js> -DOUT=<the .cpp made>
file(READ ${PAGE_DIR}/index.html _html)
file(READ ${PAGE_DIR}/page.css _css)
set(_css_tag "<link rel=\"stylesheet\" href=\"page.css\">")
string(FIND "${_html}" "${_css_tag}" _at)
if(_at EQUAL -1)
  message(FATAL_ERROR "${PAGE_DIR}/index.html: no ${_css_tag}")
endif()
string(REPLACE "${_css_tag}" "<style>\n${_css}</style>" _html "${_html}")
foreach(_script situations.js page.js)
  file(READ ${PAGE_DIR}/${_script} _js)
  set(_js_tag "<script src=\"${_script}\"></script>")
  string(FIND "${_html}" "${_js_tag}" _at)
  if(_at EQUAL -1)
    message(FATAL_ERROR "${PAGE_DIR}/index.html: no ${_js_tag}")
  endif()
  string(REPLACE "${_js_tag}" "<script>\n${_js}</script>" _html "${_html}")
endforeach()
# The page's bytes as they are (hex), written out as an array.
file(WRITE ${OUT}.page "${_html}")
file(READ ${OUT}.page _hex HEX)
file(REMOVE ${OUT}.page)
string(LENGTH "${_hex}" _hex_length)
math(EXPR _size "${_hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," _bytes "${_hex}")
string(REPEAT "0x[0-9a-f][0-9a-f]," 16 _row)
string(REGEX REPLACE "(${_row})" "\\1\n    " _bytes "${_bytes}")
file(WRITE ${OUT} "// Made by cmake/embed_page.cmake from src/collect/http/page/: edit those files.
#include \"collect/http/status_page.hpp\"

namespace statvtk::collect {

namespace {

constexpr unsigned char kPage[${_size}] = {
    ${_bytes}};

}  // namespace

std::string_view StatusPage() { return {reinterpret_cast<const char*>(kPage), sizeof kPage}; }

}  // namespace statvtk::collect
")
