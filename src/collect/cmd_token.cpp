// statvtk-collect token add|list|remove: the bearer tokens of the page and API.
#include "collect/commands.hpp"
#include "collect/http/exposure.hpp"
#include "collect/http/tokens.hpp"

namespace statvtk::collect {

namespace {

const char* kTokenAbout = R"(The tokens of the status page, the REST API and /metrics (HttpTokens= of
collect.ini, default http-tokens in the home). Once one exists, every request
but GET /health needs one: 'Authorization: Bearer TOKEN', or HTTP Basic with
any user name and the token as the password. Only a hash of each token is
kept; 'add' prints the new token once, as its last line.)";

// HttpTokens= of collect.ini (the default when there is no collect.ini yet).
std::optional<std::filesystem::path> TokenPath(const Common& c, std::ostream& err) {
  std::string file = CollectorConfig{}.httpTokens;
  std::error_code ec;
  if (std::filesystem::exists(c.configFile, ec)) {
    auto cfg = LoadChecked(c, err);
    if (!cfg) return std::nullopt;
    file = cfg->collector.httpTokens;
  }
  return InHome(file, c.home);
}

int List(const TokenFile& file, std::ostream& out, std::ostream& err) {
  auto entries = file.Read();
  if (!entries) {
    err << "statvtk-collect token: " << entries.error().reason << "\n";
    return kExitFailed;
  }
  if (entries->empty()) out << "в " << file.Path().string() << " нет токенов: страница и API отвечают всем\n";
  for (const auto& e : *entries)
    out << e.name << "\tсоздан " << e.madeUtc << "\t"
        << (e.usedUtc.empty() ? std::string("не использовался") : "использован " + e.usedUtc) << "\n";
  return kExitOk;
}

}  // namespace

int RunToken(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  CommonArgs given;
  std::string name;
  const auto app = CommandApp("token", kTokenAbout, given);
  app->require_subcommand(1, 1);
  auto* add = app->add_subcommand("add", "makes a token named NAME and prints it once")->fallthrough();
  add->add_option("NAME", name, "who or what uses it (the access log names it)")->required();
  app->add_subcommand("list", "the tokens' names, when made and when last used")->fallthrough();
  auto* remove = app->add_subcommand("remove", "removes the token named NAME")->fallthrough();
  remove->add_option("NAME", name, "the token's name")->required();
  if (auto done = ParseCommand(*app, args, out, err)) return *done;
  const Common c = given.Resolved();
  const auto path = TokenPath(c, err);
  if (!path) return kExitConfig;
  TokenFile file(*path);
  if (app->got_subcommand("list")) return List(file, out, err);
  if (app->got_subcommand("add")) {
    auto token = file.Add(name);
    if (!token) {
      err << "statvtk-collect token add: " << token.error().reason << "\n";
      return token.error().code == ErrorCode::BadSettings ? kExitConfig : kExitFailed;
    }
    out << "токен \"" << name << "\" добавлен в " << path->string()
        << "; он показан только сейчас (передавайте его как 'Authorization: Bearer TOKEN'):\n"
        << *token << "\n";
    return kExitOk;
  }
  auto removed = file.Remove(name);
  if (!removed) {
    err << "statvtk-collect token remove: " << removed.error().reason << "\n";
    return kExitFailed;
  }
  if (!*removed) {
    err << "statvtk-collect token remove: в " << path->string() << " нет токена \"" << name << "\"\n";
    return kExitFailed;
  }
  out << "токен \"" << name << "\" удалён\n";
  return kExitOk;
}

}  // namespace statvtk::collect
