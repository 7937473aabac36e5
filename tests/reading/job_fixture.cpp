#include "job_fixture.hpp"

#include <fstream>
#include <iterator>

namespace statvtk::test {

std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

}  // namespace statvtk::test
