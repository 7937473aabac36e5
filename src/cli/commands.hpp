// The commands of statvtk-cli. Each takes the arguments after its name and
// returns the exit status: 0 done, 1 instrument or link failed, 2 bad usage,
// 3 a file could not be read or written, 130 stopped by Ctrl+C.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace statvtk::cli {

using Args = std::vector<std::string>;

int RunRead(const Args& args, std::ostream& out, std::ostream& err);
int RunCurrent(const Args& args, std::ostream& out, std::ostream& err);
int RunIdentify(const Args& args, std::ostream& out, std::ostream& err);
int RunShow(const Args& args, std::ostream& out, std::ostream& err);
int RunPorts(const Args& args, std::ostream& out, std::ostream& err);
int RunExport(const Args& args, std::ostream& out, std::ostream& err);
int RunReport(const Args& args, std::ostream& out, std::ostream& err);
int RunInfo(const Args& args, std::ostream& out, std::ostream& err);
int RunScan(const Args& args, std::ostream& out, std::ostream& err);
int RunSituations(const Args& args, std::ostream& out, std::ostream& err);

// The program: the command named by args[0] with the rest of the arguments.
int Dispatch(const Args& args, std::ostream& out, std::ostream& err);

inline constexpr int kExitOk = 0;
inline constexpr int kExitLink = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitFile = 3;
inline constexpr int kExitStopped = 130;

}  // namespace statvtk::cli
