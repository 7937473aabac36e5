// statvtk-cli: the command-line program over the StatVTK core.
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.hpp"

int main(int argc, char** argv) {
  // A closed pipe on standard output is a failed write the commands report,
  // not a signal that ends the program without a word.
#ifdef SIGPIPE
  std::signal(SIGPIPE, SIG_IGN);  // Windows has no such signal: a write there just fails
#endif
  std::vector<std::string> args(argv + 1, argv + argc);
  return statvtk::cli::Dispatch(args, std::cout, std::cerr);
}
