// The page and API safe to expose: a network address refused without tokens
// and TLS, tokens made by `token add` asked for on every route but /health
// (Bearer and Basic), HTTPS with a certificate made here, slow and idle
// clients that hold up nobody, and label values escaped in /metrics.
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "collect/http/exposure.hpp"
#include "collect/http/server.hpp"
#include "fleet_e2e.hpp"
#include "forwarding_store.hpp"
#include "support/free_port.hpp"

namespace statvtk::collect {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// collect.ini with one instrument on a line nobody answers, and `collector` keys.
void WriteConfig(const fs::path& home, const std::string& collector) {
  link_test::WriteAll(home / "collect.ini", "[Collector]\n" + collector + "\n" +
                                                test::LineSection("bus", test::FreeLoopbackPort()) +
                                                test::InstrumentSection("far", "bus", 3));
}

// statvtk-collect token ARGS: its exit status and output.
std::pair<int, std::string> Token(const fs::path& home, const std::vector<std::string>& args) {
  std::vector<std::string> command{"token"};
  command.insert(command.end(), args.begin(), args.end());
  fs::remove(home / "token.out");
  std::vector<std::string> argv{test::BinaryDir() + "/statvtk-collect"};
  argv.insert(argv.end(), command.begin(), command.end());
  argv.insert(argv.end(), {"--home", home.string()});
  const int status = test::RunToEnd(argv, home / "token.out", 30s);
  return {status, link_test::ReadAll(home / "token.out")};
}

std::string LastLine(const std::string& text) {
  std::string t = text;
  while (!t.empty() && t.back() == '\n') t.pop_back();
  return t.substr(t.rfind('\n') + 1);
}

std::string Basic(const std::string& user, const std::string& password) {
  const std::string pair = user + ":" + password;
  std::string out(4 * ((pair.size() + 2) / 3) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                reinterpret_cast<const unsigned char*>(pair.data()), static_cast<int>(pair.size()));
  out.resize(static_cast<std::size_t>(n));
  return "Basic " + out;
}

TEST(HttpExposure, ANetworkAddressNeedsTokensAndTlsOrHttpInsecure) {
  link_test::TempFolder home;
  link_test::WriteAll(home.Path() / "cert.pem", "x");
  link_test::WriteAll(home.Path() / "key.pem", "x");
  fs::permissions(home.Path() / "key.pem", fs::perms::owner_read | fs::perms::owner_write);
  auto check = [&](const std::string& keys) {
    auto r = ParseConfig(home.Path() / "collect.ini",
                         "[Collector]\n" + keys + "\n[Line l]\nTcp=127.0.0.1:1\n\n[Instrument i]\nLine=l\n");
    EXPECT_TRUE(r.config) << keys;
    return r.config ? CheckExposure(*r.config, home.Path(), true) : ExposureCheck{};
  };
  const std::string tls = "\nHttpCert=cert.pem\nHttpKey=key.pem";
  struct Case {
    std::string keys;
    bool tokens, refused, warned;
  } cases[] = {
      {"Http=127.0.0.1:8080", false, false, false},
      {"Http=[::1]:8080", false, false, false},
      {"Http=0.0.0.0:8080", false, true, false},
      {"Http=0.0.0.0:8080" + tls, false, true, false},  // TLS without a token
      {"Http=10.1.2.3:8080", true, true, false},        // a token without TLS
      {"Http=0.0.0.0:8080" + tls, true, false, false},
      {"Http=0.0.0.0:8080\nHttpInsecure=1", false, false, true},
  };
  for (const auto& c : cases) {
    fs::remove(home.Path() / "http-tokens");
    if (c.tokens) {
      ASSERT_TRUE(TokenFile(home.Path() / "http-tokens").Add("t"));
    }
    const ExposureCheck e = check(c.keys);
    EXPECT_EQ(!e.refusals.empty(), c.refused) << c.keys << (e.refusals.empty() ? "" : e.refusals[0]);
    EXPECT_EQ(!e.warnings.empty(), c.warned) << c.keys;
    if (c.refused && !e.refusals.empty()) {
      EXPECT_NE(e.refusals[0].find("collect.ini:2: Http="), std::string::npos) << e.refusals[0];
    }
  }
  // A key others may read is refused, even on the loopback.
  fs::permissions(home.Path() / "key.pem", fs::perms::group_read, fs::perm_options::add);
  const ExposureCheck e = check("Http=127.0.0.1:8080" + tls);
  ASSERT_EQ(e.refusals.size(), 1u);
  EXPECT_NE(e.refusals[0].find("chmod 600"), std::string::npos) << e.refusals[0];

  // collect.ini with a password and readable by all: a warning naming the fix.
  link_test::WriteAll(home.Path() / "collect.ini", "");
  fs::permissions(home.Path() / "collect.ini", fs::perms::others_read, fs::perm_options::add);
  for (const char* keys :
       {"Database=postgresql://u:pw@h/db", "Database=postgresql://u@h/db?password=pw", "Mqtt=h\nMqttPassword=pw"}) {
    const ExposureCheck w = check(keys);
    ASSERT_EQ(w.warnings.size(), 1u) << keys;
    EXPECT_NE(w.warnings[0].find("chmod 640"), std::string::npos);
    EXPECT_EQ(w.warnings[0].find("pw"), std::string::npos) << w.warnings[0];
  }
  EXPECT_TRUE(check("Database=postgresql://u@h/db").warnings.empty());

  // The service itself refuses to start (exit 2, the line of Http=).
  WriteConfig(home.Path(), "Http=0.0.0.0:" + std::to_string(test::FreeLoopbackPort()));
  EXPECT_EQ(test::Collect(home.Path(), {"run"}, 30s), 2);
  EXPECT_NE(link_test::ReadAll(home.Path() / "collect.out").find("collect.ini:2: Http=0.0.0.0:"), std::string::npos)
      << link_test::ReadAll(home.Path() / "collect.out");
}

TEST(HttpTokens, EveryRouteButHealthAsksForAToken) {
  link_test::TempFolder home;
  const int port = test::FreeLoopbackPort();
  WriteConfig(home.Path(), "Http=127.0.0.1:" + std::to_string(port));
  const auto [added, out] = Token(home.Path(), {"add", "grafana"});
  ASSERT_EQ(added, 0) << out;
  const std::string token = LastLine(out);
  ASSERT_EQ(token.size(), 64u) << out;
  struct stat st {};
  ASSERT_EQ(stat((home.Path() / "http-tokens").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(link_test::ReadAll(home.Path() / "http-tokens").find(token), std::string::npos);
  EXPECT_EQ(Token(home.Path(), {"add", "grafana"}).first, 2);  // the name is taken
  ASSERT_EQ(Token(home.Path(), {"add", "other"}).first, 0);

  auto run = test::CollectInBackground(home.Path(), "run");
  httplib::Client client("127.0.0.1", port);
  client.set_connection_timeout(2);
  ASSERT_TRUE(WaitUntil([&] { return static_cast<bool>(client.Get("/health")); }, 30s))
      << link_test::ReadAll(home.Path() / "collect.out");

  const auto health = client.Get("/health");
  ASSERT_TRUE(health);
  EXPECT_EQ(health->status, 200);
  const Json h = Json::parse(health->body);
  EXPECT_EQ(h["status"], "ok");
  EXPECT_EQ(h["store"], "ok");
  EXPECT_TRUE(h["version"].is_string());
  EXPECT_EQ(h.size(), 3u) << health->body;

  for (const char* path : {"/api/instruments", "/metrics", "/"}) {
    for (const httplib::Headers& wrong : {httplib::Headers{},
                                          {{"Authorization", "Bearer " + std::string(64, '0')}},
                                          {{"Authorization", Basic("x", token + "0")}}}) {
      const auto r = client.Get(path, wrong);
      ASSERT_TRUE(r) << path;
      EXPECT_EQ(r->status, 401) << path;
      EXPECT_EQ(r->get_header_value("WWW-Authenticate"), "Basic realm=\"statvtk\"");
      EXPECT_EQ(Json::parse(r->body)["status"], 401);
    }
    for (const httplib::Headers& right :
         {httplib::Headers{{"Authorization", "Bearer " + token}}, {{"Authorization", Basic("anyone", token)}}}) {
      const auto r = client.Get(path, right);
      ASSERT_TRUE(r) << path;
      EXPECT_EQ(r->status, 200) << path << " " << r->body;
    }
  }
  // Acknowledging a finding is said in a token's name, through the collector's writer.
  const auto noToken = client.Post("/api/findings/999/ack", "", "application/json");
  ASSERT_TRUE(noToken);
  EXPECT_EQ(noToken->status, 401);
  const auto ack = client.Post("/api/findings/999/ack", {{"Authorization", "Bearer " + token}}, "", "application/json");
  ASSERT_TRUE(ack);
  EXPECT_EQ(ack->status, 404) << ack->body;  // the store answered: there is no such open finding
  EXPECT_EQ(run.Stop(SIGTERM, 10s), 0);
  // The access log names the token, never shows it; its last use is kept.
  const std::string access = test::LogFiles(home.Path(), "http-");
  EXPECT_NE(access.find("GET /metrics 200 token=grafana"), std::string::npos) << access;
  EXPECT_NE(access.find("GET /metrics 401"), std::string::npos) << access;
  EXPECT_EQ(access.find(token), std::string::npos);
  const auto [listed, list] = Token(home.Path(), {"list"});
  EXPECT_EQ(listed, 0);
  EXPECT_NE(list.find("grafana\tсоздан "), std::string::npos) << list;
  EXPECT_EQ(list.find("не использовался"), list.rfind("не использовался")) << list;  // only "other" never used
  EXPECT_EQ(Token(home.Path(), {"remove", "grafana"}).first, 0);
  EXPECT_EQ(Token(home.Path(), {"remove", "grafana"}).first, 1);
}

TEST(HttpTls, WithACertificateTheServerSpeaksOnlyHttps) {
  link_test::TempFolder home;
  const fs::path cert = home.Path() / "cert.pem", key = home.Path() / "key.pem";
  const std::string make = "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=localhost -keyout '" +
                           key.string() + "' -out '" + cert.string() + "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(make.c_str()), 0);
  fs::permissions(key, fs::perms::owner_read | fs::perms::owner_write);
  const int port = test::FreeLoopbackPort();
  WriteConfig(home.Path(), "Http=127.0.0.1:" + std::to_string(port) + "\nHttpCert=cert.pem\nHttpKey=key.pem");
  const auto [added, out] = Token(home.Path(), {"add", "prometheus"});
  ASSERT_EQ(added, 0) << out;
  auto run = test::CollectInBackground(home.Path(), "run");
  httplib::SSLClient tls("127.0.0.1", port);
  tls.set_ca_cert_path(cert.c_str());
  tls.enable_server_certificate_verification(false);  // a name, not an address, is in the certificate
  tls.set_connection_timeout(2);
  ASSERT_TRUE(WaitUntil([&] { return static_cast<bool>(tls.Get("/health")); }, 30s))
      << link_test::ReadAll(home.Path() / "collect.out");
  const auto r = tls.Get("/metrics", {{"Authorization", "Bearer " + LastLine(out)}});
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 200);
  EXPECT_NE(r->body.find("statvtk_"), std::string::npos);
  httplib::Client plain("127.0.0.1", port);
  plain.set_read_timeout(3);
  const auto p = plain.Get("/health");
  EXPECT_TRUE(!p || p->status >= 400) << p->body;
  EXPECT_NE(link_test::ReadAll(home.Path() / "collect.out").find("https://127.0.0.1:"), std::string::npos);
}

// A TCP connection to the loopback port; -1 when it could not be made.
int Connect(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// True while the server keeps the connection open without having answered
// on it (nothing to read, not closed).
// A request's head never completed is never answered: the connection still
// waits, or was closed (past the address's cap) without a 200.
bool NotAnswered(int fd) {
  char head[16] = {};
  const ssize_t n = recv(fd, head, sizeof head - 1, MSG_DONTWAIT | MSG_PEEK);
  return n <= 0 || std::string_view(head, static_cast<std::size_t>(n)).find(" 200") == std::string_view::npos;
}

HttpOptions Limits(std::chrono::milliseconds head, std::chrono::milliseconds idle) {
  HttpOptions o;
  o.limits.head = head;
  o.limits.idle = idle;
  return o;
}

// Idle connections past the cap of one address and clients in the middle
// of a request's head (allowed two minutes here) hold up nobody: an
// ordinary request is answered while every slow one is still waiting, and
// the server stops without waiting for them.
TEST(HttpSlowClients, AnOrdinaryRequestIsAnsweredWhileSlowAndIdleClientsWait) {
  auto server = std::make_shared<HttpServer>(std::make_shared<FleetApi>(test::ForwardingStore::Sqlite(), FleetLive{}),
                                             nullptr, Limits(120s, 120s));
  ASSERT_TRUE(server->Start({"127.0.0.1", 0}));
  std::vector<int> idle, slow;
  for (int i = 0; i < 64; ++i) idle.push_back(Connect(server->Port()));
  for (int i = 0; i < 8; ++i) {
    slow.push_back(Connect(server->Port()));
    const std::string start = "GET /api/instruments HTTP/1.1\r\nHost: x\r\n";
    ASSERT_EQ(send(slow.back(), start.data(), start.size(), MSG_NOSIGNAL), static_cast<ssize_t>(start.size()));
  }
  httplib::Client client("127.0.0.1", server->Port());
  client.set_connection_timeout(60);
  client.set_read_timeout(60);
  const auto r = client.Get("/api/instruments");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 200);
  for (int fd : slow) EXPECT_TRUE(NotAnswered(fd));
  EXPECT_TRUE(ReturnsWithin(60s, [server] { server->Stop(); })) << "the stop waits for the slow clients";
  for (int fd : idle) close(fd);
  for (int fd : slow) close(fd);
}

// A request's head has a limit of its own, which a client sending a little
// every fifth of a second (a limit of silence would never run out) does not
// escape: header lines after its line (due within `head` of the line), or
// the line itself a byte at a time (due within `idle` + `head` of the
// connection's start). The server gives up on it, closing or refusing,
// never answering it.
TEST(HttpSlowClients, AHeadTrickledByteByByteIsGivenUpAtItsLimit) {
  struct Case {
    const char* what;
    std::chrono::milliseconds head, idle;
    std::string start, trickle;
  } cases[] = {
      {"header lines", 5s, 120s, "GET /api/instruments HTTP/1.1\r\nHost: x\r\n", "X-A: b\r\n"},
      {"the request line", 2s, 3s, "GET /api/instruments", "x"},
  };
  for (const auto& c : cases) {
    HttpServer server(std::make_shared<FleetApi>(test::ForwardingStore::Sqlite(), FleetLive{}), nullptr,
                      Limits(c.head, c.idle));
    ASSERT_TRUE(server.Start({"127.0.0.1", 0}));
    const int fd = Connect(server.Port());
    ASSERT_GE(fd, 0);
    ASSERT_EQ(send(fd, c.start.data(), c.start.size(), MSG_NOSIGNAL), static_cast<ssize_t>(c.start.size()));
    std::string answer;
    bool ended = false;
    const auto until = Clock::now() + 120s;
    while (!ended && Clock::now() < until) {
      pollfd p{.fd = fd, .events = POLLIN, .revents = 0};
      if (poll(&p, 1, 200) > 0) {
        char buf[512];
        const ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n > 0) answer.append(buf, static_cast<std::size_t>(n));
        ended = true;
      } else if (send(fd, c.trickle.data(), c.trickle.size(), MSG_NOSIGNAL) < 0) {
        ended = true;
      }
    }
    close(fd);
    EXPECT_TRUE(ended) << c.what << ": still open after two minutes";
    EXPECT_EQ(answer.find(" 200 "), std::string::npos) << c.what << ": " << answer;
  }
}

TEST(HttpText, InstrumentTextsStayTextOnThePageAndInMetrics) {
  auto store = test::ForwardingStore::Sqlite();
  ASSERT_TRUE(store->UpsertInstrument({"12\"}\\x\n", "VTK-08.12", "a", "b", 3, "2026-12-01T00:00:00Z", "", {}}));
  FleetLive live;
  live.lines = [] { return std::vector<LineFigures>{{"li\"ne<b>", 1, 0, 0, 0}}; };
  FleetApi api(std::move(store), std::move(live));
  const HttpAnswer m = api.Answer("GET", "/metrics", {});
  ASSERT_EQ(m.status, 200);
  for (const char* line : {"statvtk_records_stored{serial=\"12\\\"}\\\\x\\n\",archive=\"daily\"} 0\n",
                           "statvtk_reads_total{line=\"li\\\"ne<b>\",outcome=\"done\"} 1\n"})
    EXPECT_NE(m.body.find(line), std::string::npos) << line << m.body;
  // The page holds no data: its script sets every text as text, never as markup.
  const HttpAnswer page = api.Answer("GET", "/", {});
  for (const char* text : {"12\"}", "li\"ne"}) EXPECT_EQ(page.body.find(text), std::string::npos) << text;
  for (const char* markup : {"innerHTML", "outerHTML", "insertAdjacentHTML", "document.write"})
    EXPECT_EQ(page.body.find(markup), std::string::npos) << markup;
}

}  // namespace
}  // namespace statvtk::collect
