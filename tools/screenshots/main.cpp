// statvtk-shots: opens the desktop program's main window over prepared homes
// whose StatVTK.ini point at simulated instruments on loopback TCP, reads
// them, opens every kind of child window and dialog, and saves a picture of
// each into the output folder. Run it under an X server (scripts/screenshots).
#include <QApplication>
#include <iostream>
#include <string>

#include "shot_windows.hpp"

namespace {

constexpr const char* kUsage =
    "usage: statvtk-shots [--small] --out DIR --homes DIR --tcp 0812=PORT [--tcp 0814c=PORT] [--tcp ldn=PORT] "
    "[--tcp dead=PORT] [--modem PTY]\n";

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("StatVTK"));
  statvtk::shots::ShotRun run;
  bool small = false;
  if (argc > 1 && std::string(argv[1]) == "--small") {
    small = true;
    --argc;
    ++argv;
  }
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i], v = argv[i + 1];
    if (a == "--out") {
      run.out = v;
    } else if (a == "--homes") {
      run.homes = v;
    } else if (a == "--modem") {  // the simulated modem's pseudo-terminal
      run.modemPort = v;
    } else if (const auto eq = v.find('='); a == "--tcp" && eq != std::string::npos) {  // MODEL=PORT
      run.ports[v.substr(0, eq)] = std::stoi(v.substr(eq + 1));
    } else {
      std::cerr << kUsage;
      return 2;
    }
  }
  if (run.out.empty() || run.homes.empty() || run.ports.empty()) {
    std::cerr << kUsage;
    return 2;
  }
  std::filesystem::create_directories(run.out);
  return small ? statvtk::shots::SmallScreen(run) : statvtk::shots::Tour(run);
}
