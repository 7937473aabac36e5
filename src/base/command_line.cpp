#include "base/command_line.hpp"

#include <charconv>
#include <sstream>

namespace statvtk::args {

namespace {

constexpr std::size_t kNameColumn = 25;  // where an option's description starts
constexpr std::size_t kLineWidth = 79;

// `text` broken into lines of at most `width` (explicit line breaks kept).
std::vector<std::string> Wrapped(const std::string& text, std::size_t width) {
  std::vector<std::string> lines;
  std::istringstream paragraphs(text);
  for (std::string paragraph; std::getline(paragraphs, paragraph);) {
    std::istringstream words(paragraph);
    std::string line;
    for (std::string word; words >> word;) {
      if (!line.empty() && line.size() + 1 + word.size() > width) lines.push_back(std::exchange(line, {}));
      line += (line.empty() ? "" : " ") + word;
    }
    lines.push_back(line);
  }
  return lines;
}

// "  NAME  description" with the description wrapped in its column.
std::string Entry(std::string head, const std::string& description) {
  const auto lines = Wrapped(description, kLineWidth - kNameColumn);
  std::string out;
  if (head.size() >= kNameColumn) out = head + "\n", head.clear();
  for (const auto& line : lines) {
    head.resize(kNameColumn, ' ');
    out += head + line + "\n";
    head.clear();
  }
  return lines.empty() ? out + head + "\n" : out;
}

// Usage line first, then the description, the option groups (the one with
// --help last), positionals and commands, and the footer.
class HelpLayout : public CLI::Formatter {
 public:
  HelpLayout() {
    column_width(kNameColumn);
    label("Subcommands", "Commands");
  }

  std::string make_help(const CLI::App* app, std::string name, CLI::AppFormatMode mode) const override {
    std::string out = make_usage(app, name);
    if (!app->get_description().empty()) out += "\n" + app->get_description() + "\n";
    std::vector<std::string> groups = app->get_groups();
    const CLI::Option* help = app->get_help_ptr();
    if (help) {
      std::erase(groups, help->get_group());
      groups.push_back(help->get_group());
    }
    out += make_positionals(app);
    for (const std::string& group : groups) {
      const auto opts =
          app->get_options([&](const CLI::Option* o) { return o->get_group() == group && o->nonpositional(); });
      if (!group.empty() && !opts.empty()) out += make_group(group, false, opts);
    }
    out += make_subcommands(app, mode);
    const std::string footer = app->get_footer();
    if (!footer.empty()) out += "\n" + footer + (footer.back() == '\n' ? "" : "\n");
    return out;
  }

  std::string make_usage(const CLI::App* app, std::string name) const override {
    std::string out = "Usage: " + name;
    if (!app->get_subcommands({}).empty()) out += " COMMAND";
    if (!app->get_options([](const CLI::Option* o) { return o->nonpositional(); }).empty()) out += " [OPTIONS]";
    for (const CLI::Option* p : app->get_options([](const CLI::Option* o) { return o->get_positional(); }))
      out += " " + make_option_usage(p);
    return out + "\n";
  }

  std::string make_option_name(const CLI::Option* opt, bool positional) const override {
    if (positional) return opt->get_name(true, false);
    std::string names;
    for (const auto& l : opt->get_lnames()) names += (names.empty() ? "--" : ", --") + l;
    for (const auto& s : opt->get_snames()) names += (names.empty() ? "-" : ", -") + s;
    return names;
  }

  std::string make_option_opts(const CLI::Option* opt) const override {
    if (!opt->get_option_text().empty()) return " " + opt->get_option_text();
    return opt->get_type_size() == 0 ? std::string() : " " + opt->get_type_name();
  }

  std::string make_option(const CLI::Option* opt, bool positional) const override {
    return Entry("  " + make_option_name(opt, positional) + (positional ? "" : make_option_opts(opt)),
                 make_option_desc(opt));
  }

  std::string make_subcommand(const CLI::App* sub) const override {
    return Entry("  " + sub->get_name(), sub->get_description());
  }
};

}  // namespace

std::unique_ptr<CLI::App> MakeApp(const std::string& name, const std::string& description, const std::string& footer) {
  auto app = std::make_unique<CLI::App>(description, name);
  app->formatter(std::make_shared<HelpLayout>());
  app->set_help_flag("-h,--help", "this text")->group("Other");
  app->option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  // A path such as /tmp/x.vst is a path on Windows too, never an option "/x".
  app->allow_windows_style_options(false);
  if (!footer.empty()) app->footer(footer);
  return app;
}

std::optional<long long> DecimalValue(std::string_view text, long long lo, long long hi) {
  const bool negative = !text.empty() && text.front() == '-';
  if (text.empty() || (negative && lo >= 0)) return std::nullopt;
  long long v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || v < lo || v > hi) return std::nullopt;
  return v;
}

std::optional<unsigned long long> UnsignedValue(std::string_view text, unsigned long long hi) {
  unsigned long long v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || v > hi) return std::nullopt;
  return v;
}

std::string NotANumber(std::string_view text, long long lo, unsigned long long hi) {
  return "\"" + std::string(text) + "\" is not a number from " + std::to_string(lo) + " to " + std::to_string(hi);
}

CLI::Validator Decimal(long long lo, long long hi) {
  return CLI::Validator(
      [lo, hi](std::string& text) {
        const auto v = DecimalValue(text, lo, hi);
        if (!v) return NotANumber(text, lo, static_cast<unsigned long long>(hi));
        text = std::to_string(*v);
        return std::string();
      },
      "");
}

CLI::Validator Unsigned(unsigned long long hi) {
  return CLI::Validator(
      [hi](std::string& text) {
        const auto v = UnsignedValue(text, hi);
        if (!v) return NotANumber(text, 0, hi);
        text = std::to_string(*v);
        return std::string();
      },
      "");
}

Parsed Parse(CLI::App& app, const std::vector<std::string>& args) {
  std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 takes them from the back
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    return {Parsed::End::Help, app.help()};
  } catch (const CLI::CallForVersion& v) {
    return {Parsed::End::Version, v.what()};
  } catch (const CLI::ParseError& e) {
    return {Parsed::End::Usage, e.what()};
  }
  return {};
}

int UsageError(std::ostream& err, const std::string& name, const std::string& message, int exit) {
  err << name << ": " << message << "\n"
      << "Try '" << name << " --help'.\n";
  return exit;
}

std::optional<int> ParseOrEnd(CLI::App& app, const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                              int usageExit) {
  const Parsed parsed = Parse(app, args);
  switch (parsed.end) {
    case Parsed::End::Go: return std::nullopt;
    case Parsed::End::Help:
    case Parsed::End::Version: out << parsed.text; return 0;
    case Parsed::End::Usage: break;
  }
  return UsageError(err, app.get_name(), parsed.text, usageExit);
}

int RunProgram(const Program& p, const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const auto app = MakeApp(p.name, p.about, p.footer);
  app->set_version_flag("-V,--version", p.version + "\n", "the program's version")->group("Other");
  app->require_subcommand(1);
  for (const Command& c : p.commands) {
    CLI::App* sub = app->add_subcommand(c.name, c.about);
    sub->set_help_flag();  // the command's own --help
    sub->group("Commands");
    sub->prefix_command();  // the rest of the line is the command's
  }
  const auto finish = [&](int status, const std::string& what) { return p.finish ? p.finish(status, what) : status; };
  if (args.empty()) {
    err << app->help();
    return p.usageExit;
  }
  const Parsed parsed = Parse(*app, args[0] == "help" ? std::vector<std::string>{"--help"} : args);
  if (parsed.end == Parsed::End::Help || parsed.end == Parsed::End::Version) {
    out << parsed.text;
    return finish(0, args[0]);
  }
  for (const Command& c : p.commands)
    if (parsed.end == Parsed::End::Go && app->got_subcommand(c.name))
      return finish(c.run(app->get_subcommand(c.name)->remaining(), out, err), c.name);
  return UsageError(err, p.name, args[0].starts_with("-") ? parsed.text : "unknown command '" + args[0] + "'",
                    p.usageExit);
}

}  // namespace statvtk::args
