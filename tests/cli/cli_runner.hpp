// Runs the statvtk-cli binary of this build with arguments, capturing its
// standard output and error and its exit status; can send it SIGINT.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace statvtk::test {

struct CliRun {
  int status = -1;  // exit status (128 + signal when killed by one)
  std::string out, err;
};

// `interruptWhen` is polled with the stderr text so far; when it returns true
// the program gets `signal` (SIGINT unless told). A run longer than `limit`
// is killed (status -1).
CliRun RunCli(const std::vector<std::string>& args, std::chrono::seconds limit = std::chrono::seconds(60),
              std::function<bool(const std::string& err)> interruptWhen = {}, int signal = 2);

std::string CliPath();

}  // namespace statvtk::test
