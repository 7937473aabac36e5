// statvtk-collect: unattended collection from a fleet of instruments.
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "collect/commands.hpp"

int main(int argc, char** argv) {
  // A peer gone away (an alert command that did not read its input, a
  // socket closed) is a failed write, never the end of the program.
  std::signal(SIGPIPE, SIG_IGN);
  std::vector<std::string> args(argv + 1, argv + argc);
  return statvtk::collect::Dispatch(args, std::cout, std::cerr);
}
