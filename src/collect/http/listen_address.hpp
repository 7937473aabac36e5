// The address the HTTP server listens on (`Http=`) as the socket calls take
// it: the host's first address, port 0 for any free one.
#pragma once

#include <sys/socket.h>

#include "base/error.hpp"
#include "base/host_port.hpp"

namespace statvtk::collect {

struct ListenAddress {
  sockaddr_storage address{};
  socklen_t length = 0;
  bool v6 = false;
};

Result<ListenAddress> ListenAddressOf(const HostPort& at);
// Why a server could not listen on `at`, in the words of the settings.
Error CannotListen(const HostPort& at);

}  // namespace statvtk::collect
