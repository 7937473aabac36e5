// The status page served at "/": one HTML document with its style and script
// inside (no other file, no network beyond this server's own API). Its
// source is src/collect/http/page/ (index.html, page.css, page.js), built
// into the program (cmake/collect_page.cmake).
#pragma once

#include <string_view>

namespace statvtk::collect {

std::string_view StatusPage();

}  // namespace statvtk::collect
