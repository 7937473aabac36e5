// statvtk-cli: the command-line program over the StatVTK core.
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.hpp"

int main(int argc, char** argv) {
  // A closed pipe on standard output is a failed write the commands report,
  // not a signal that ends the program without a word.
  std::signal(SIGPIPE, SIG_IGN);
  std::vector<std::string> args(argv + 1, argv + argc);
  return statvtk::cli::Dispatch(args, std::cout, std::cerr);
}
