// statvtk-cli: the command-line program over the StatVTK core.
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.hpp"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return statvtk::cli::Dispatch(args, std::cout, std::cerr);
}
