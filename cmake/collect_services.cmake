# Libraries of the collector's services (Debian packages): libmicrohttpd
# serves the status page and REST API, cpp-httplib is the webhooks' client,
# libmosquitto for MQTT, nlohmann-json for their JSON (from the base).
# Linked into statvtk-collect's library.
pkg_check_modules(MICROHTTPD REQUIRED IMPORTED_TARGET libmicrohttpd)
pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
pkg_check_modules(MOSQUITTO REQUIRED IMPORTED_TARGET libmosquitto)
# OpenSSL (cpp-httplib's HTTPS): the tokens' hashes and random bytes, the
# check of the server's certificate and key.
find_package(OpenSSL REQUIRED)
if(TARGET statvtk-collect_lib)
  get_target_property(_collect_type statvtk-collect_lib TYPE)
  if(_collect_type STREQUAL "INTERFACE_LIBRARY")
    target_link_libraries(statvtk-collect_lib INTERFACE statvtk_store PkgConfig::MICROHTTPD PkgConfig::HTTPLIB PkgConfig::MOSQUITTO OpenSSL::SSL OpenSSL::Crypto
                          nlohmann_json::nlohmann_json)
  else()
    target_link_libraries(statvtk-collect_lib PUBLIC statvtk_store PkgConfig::MICROHTTPD PkgConfig::HTTPLIB PkgConfig::MOSQUITTO OpenSSL::SSL OpenSSL::Crypto
                          nlohmann_json::nlohmann_json)
  endif()
endif()
