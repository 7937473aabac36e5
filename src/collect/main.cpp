// statvtk-collect: unattended collection from a fleet of instruments.
#include <iostream>
#include <string>
#include <vector>

#include "collect/commands.hpp"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return statvtk::collect::Dispatch(args, std::cout, std::cerr);
}
