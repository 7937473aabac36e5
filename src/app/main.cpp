// The desktop program statvtk: the main window over the program home
// (--home DIR, STATVTK_HOME, or the default), opening a file named on the
// command line.
#include <QApplication>
#include <QTimer>

#include <iostream>

#include "app/app_options.hpp"
#include "app/main_window.hpp"
#include "app/russian_ui.hpp"
#include "app/ui_seam.hpp"
#include "base/program_home.hpp"
#include "base/version.hpp"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("StatVTK"));
  QStringList args = QApplication::arguments();
  args.removeFirst();
  const statvtk::app::AppOptions options = statvtk::app::ParseAppOptions(args);
  if (!options.error.isEmpty()) {
    std::cerr << "statvtk: " << options.error.toStdString() << "\nUsage: statvtk [--home DIR] [FILE]\n";
    return 2;
  }
  if (options.help) {
    std::cout << "Usage: statvtk [--home DIR] [FILE]\n"
                 "The StatVTK desktop program. FILE (.vst, .814, .ldn) is opened at start.\n"
                 "  --home DIR  the folder with StatVTK.ini, Data/, logs/, Templates/, Reports/\n"
                 "              (default: STATVTK_HOME, else ~/.local/share/StatVTK)\n";
    return 0;
  }
  if (options.version) {
    std::cout << "statvtk " << statvtk::StatvtkVersion() << "\n";
    return 0;
  }
  const auto home = statvtk::ResolveProgramHome(options.home, statvtk::ExecutablePath());
  if (const auto made = statvtk::EnsureFolder(home); !made) std::cerr << "statvtk: " << made.error().reason << "\n";

  statvtk::app::UseRussian(&app);
  statvtk::app::DesktopUi ui;
  statvtk::app::MainWindow window(ui, home);
  window.show();
  QTimer::singleShot(0, &window, [&window, files = options.files] { window.OpenFromCommandLine(files); });
  return QApplication::exec();
}
