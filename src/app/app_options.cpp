// Parsing the desktop program's command line.
#include "app/app_options.hpp"

#include "app/path_text.hpp"

namespace statvtk::app {

AppOptions ParseAppOptions(const QStringList& arguments) {
  AppOptions o;
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString& a = arguments[i];
    if (a == QLatin1String("--home")) {
      if (i + 1 >= arguments.size()) {
        o.error = QStringLiteral("--home needs a folder");
        return o;
      }
      o.home = PathOf(arguments[++i]);
    } else if (a.startsWith(QLatin1String("--home="))) {
      o.home = PathOf(a.mid(7));
    } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
      o.help = true;
    } else if (a == QLatin1String("--version")) {
      o.version = true;
    } else if (a == QLatin1String("--")) {
      for (++i; i < arguments.size(); ++i) o.files << arguments[i];
    } else if (a.startsWith(QLatin1String("--"))) {
      o.error = QStringLiteral("unknown option ") + a;
      return o;
    } else {
      o.files << a;
    }
  }
  return o;
}

}  // namespace statvtk::app
