#include "collect/http/daemon.hpp"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>

#include <algorithm>
#include <charconv>
#include <exception>
#include <memory>

namespace statvtk::collect {

namespace {

using Connection = ConnectionTable::Connection;

std::string AddressOf(const sockaddr* a) {
  char text[INET6_ADDRSTRLEN] = "?";
  if (a && a->sa_family == AF_INET)
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(a)->sin_addr, text, sizeof text);
  else if (a && a->sa_family == AF_INET6)
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr, text, sizeof text);
  return text;
}

// The library's timeouts are whole seconds.
unsigned Seconds(std::chrono::milliseconds t) {
  return static_cast<unsigned>(std::max<long long>(1, (t.count() + 999) / 1000));
}

std::string HeaderOf(MHD_Connection* c, const char* name) {
  const char* v = MHD_lookup_connection_value(c, MHD_HEADER_KIND, name);
  return v ? v : "";
}

QueryParams QueryOf(MHD_Connection* c) {
  QueryParams q;
  MHD_get_connection_values(
      c, MHD_GET_ARGUMENT_KIND,
      [](void* cls, MHD_ValueKind, const char* key, const char* value) -> MHD_Result {
        static_cast<QueryParams*>(cls)->emplace_back(key ? key : "", value ? value : "");
        return MHD_YES;
      },
      &q);
  return q;
}

// The length its Content-Length says (0 without one).
std::size_t DeclaredBody(MHD_Connection* c) {
  const std::string text = HeaderOf(c, MHD_HTTP_HEADER_CONTENT_LENGTH);
  std::size_t n = 0;
  std::from_chars(text.data(), text.data() + text.size(), n);
  return n;
}

// Every answer: never cached, its type as said; `last`: the connection
// closes after it.
MHD_Result Send(MHD_Connection* c, const HttpAnswer& a, bool last) {
  const std::unique_ptr<MHD_Response, decltype(&MHD_destroy_response)> r(
      MHD_create_response_from_buffer(a.body.size(), const_cast<char*>(a.body.data()), MHD_RESPMEM_MUST_COPY),
      &MHD_destroy_response);
  if (!r) return MHD_NO;
  MHD_add_response_header(r.get(), MHD_HTTP_HEADER_CONTENT_TYPE, a.contentType.c_str());
  MHD_add_response_header(r.get(), MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
  MHD_add_response_header(r.get(), "X-Content-Type-Options", "nosniff");
  if (a.status == 401) MHD_add_response_header(r.get(), MHD_HTTP_HEADER_WWW_AUTHENTICATE, "Basic realm=\"statvtk\"");
  if (last) MHD_add_response_header(r.get(), MHD_HTTP_HEADER_CONNECTION, "close");
  return MHD_queue_response(c, static_cast<unsigned>(a.status), r.get());
}

}  // namespace

struct HttpDaemon::Callbacks {
  static MHD_Result Admit(void* cls, const sockaddr* from, socklen_t) {
    return static_cast<HttpDaemon*>(cls)->table_.Admit(AddressOf(from)) ? MHD_YES : MHD_NO;
  }

  static void Notify(void* cls, MHD_Connection* c, void** context, MHD_ConnectionNotificationCode code) {
    ConnectionTable& table = static_cast<HttpDaemon*>(cls)->table_;
    if (code == MHD_CONNECTION_NOTIFY_STARTED) {
      const MHD_ConnectionInfo* fd = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CONNECTION_FD);
      const MHD_ConnectionInfo* from = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
      *context = &table.Opened(fd ? fd->connect_fd : -1, AddressOf(from ? from->client_addr : nullptr));
    } else if (*context) {
      table.Closed(*static_cast<Connection*>(*context));
      *context = nullptr;
    }
  }

  // A request's line has come (its target as sent): the request's state
  // is its connection's.
  static void* Line(void* cls, const char* target, MHD_Connection* c) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    auto* conn = info ? static_cast<Connection*>(info->socket_context) : nullptr;
    if (!conn) return nullptr;
    conn->request = {.target = target ? target : "", .answered = conn->request.answered};
    static_cast<HttpDaemon*>(cls)->table_.LineCame(*conn);
    return conn;
  }

  // Called when its head has come, for each piece of its body, then once
  // more when all has come: the answer goes then.
  static MHD_Result Request(void* cls, MHD_Connection* c, const char*, const char* method, const char*, const char*,
                            std::size_t* uploaded, void** context) {
    auto& self = *static_cast<HttpDaemon*>(cls);
    auto* conn = static_cast<Connection*>(*context);
    if (!conn) return MHD_NO;
    ConnectionTable::Request& r = conn->request;
    if (!r.headCame) {
      r.headCame = true;
      self.table_.HeadCame(*conn);
      MHD_set_connection_option(c, MHD_CONNECTION_OPTION_TIMEOUT, Seconds(self.setup_.limits.io));
      if (DeclaredBody(c) > self.setup_.maxBody) return Send(c, FleetApi::Refuse(413, "неверный запрос"), true);
      return MHD_YES;
    }
    if (*uploaded > 0) {
      r.body += *uploaded;
      *uploaded = 0;
      return r.body <= self.setup_.maxBody ? MHD_YES : MHD_NO;  // a chunked body past the limit: closed
    }
    HttpRequest request{.method = method,
                        .target = r.target,
                        .query = QueryOf(c),
                        .authorization = HeaderOf(c, MHD_HTTP_HEADER_AUTHORIZATION),
                        .client = conn->address};
    HttpAnswer answer;
    try {
      answer = self.handler_(request);
    } catch (...) {
      answer = FleetApi::Refuse(500, "внутренняя ошибка");
    }
    return Send(c, answer, ++r.answered >= self.setup_.limits.requestsPerConnection);
  }

  static void Completed(void* cls, MHD_Connection* c, void** context, MHD_RequestTerminationCode) {
    auto& self = *static_cast<HttpDaemon*>(cls);
    auto* conn = static_cast<Connection*>(*context);
    if (!conn) return;
    self.table_.Done(*conn);
    MHD_set_connection_option(c, MHD_CONNECTION_OPTION_TIMEOUT, Seconds(self.setup_.limits.idle));
  }
};

HttpDaemon::HttpDaemon(Handler handler, DaemonSetup setup)
    : handler_(std::move(handler)), setup_(std::move(setup)), table_(setup_.limits) {}

bool HttpDaemon::Start(const ListenAddress& at) {
  const bool tls = !setup_.certPem.empty() && !setup_.keyPem.empty();
  // A thread for each connection: a slow client never holds up the others.
  unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_THREAD_PER_CONNECTION | MHD_USE_POLL | MHD_USE_ITC;
  if (tls) flags |= MHD_USE_TLS;
  if (at.v6) flags |= MHD_USE_IPv6;
  MHD_OptionItem certificate[] = {
      {.option = MHD_OPTION_HTTPS_MEM_KEY, .value = 0, .ptr_value = setup_.keyPem.data()},
      {.option = MHD_OPTION_HTTPS_MEM_CERT, .value = 0, .ptr_value = setup_.certPem.data()},
      {.option = MHD_OPTION_END, .value = 0, .ptr_value = nullptr},
  };
  // The table's cap decides; the library's own is a backstop above it
  // while connections that gave way wind down.
  const auto backstop = static_cast<unsigned>(2 * setup_.limits.total + 8);
  daemon_ = MHD_start_daemon(
      flags, 0, &Callbacks::Admit, this, &Callbacks::Request, this, MHD_OPTION_SOCK_ADDR,
      reinterpret_cast<const sockaddr*>(&at.address), MHD_OPTION_LISTEN_BACKLOG_SIZE, static_cast<unsigned>(SOMAXCONN),
      MHD_OPTION_CONNECTION_LIMIT, backstop, MHD_OPTION_CONNECTION_TIMEOUT, Seconds(setup_.limits.idle),
      MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<std::size_t>(32 * 1024), MHD_OPTION_NOTIFY_CONNECTION,
      &Callbacks::Notify, this, MHD_OPTION_URI_LOG_CALLBACK, &Callbacks::Line, this, MHD_OPTION_NOTIFY_COMPLETED,
      &Callbacks::Completed, this, MHD_OPTION_ARRAY, tls ? certificate : certificate + 2, MHD_OPTION_END);
  return daemon_ != nullptr;
}

int HttpDaemon::Port() const {
  const MHD_DaemonInfo* info = daemon_ ? MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT) : nullptr;
  return info ? info->port : 0;
}

HttpDaemon::~HttpDaemon() {
  table_.CloseAll();  // kept-alive and slow clients end now
  if (daemon_) MHD_stop_daemon(daemon_);
}

}  // namespace statvtk::collect
