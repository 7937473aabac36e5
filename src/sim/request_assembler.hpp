// Cuts the byte stream from the line into request frames. A request may come
// in the short form (one address byte and its complement) or the long form
// (four address bytes); both are tried on the same bytes and the first that
// completes with a good checksum wins. Anything else is reported.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/frame.hpp"

namespace statvtk::sim {

struct AssembledFrame {
  frame::Form form = frame::Form::Short;
  std::vector<std::uint8_t> bytes;
};

class RequestAssembler {
 public:
  // The instrument's own addresses decide which form a doubtful frame is read in.
  RequestAssembler(std::uint8_t address, std::uint32_t longAddress) : address_(address), longAddress_(longAddress) {}

  // Takes one byte; complete frames go to `frames`, faults to `errors` (one line each).
  void Push(std::uint8_t byte, std::vector<AssembledFrame>& frames, std::vector<std::string>& errors);

  // After a silence on the line: a partial frame is dropped and reported.
  void Expire(std::vector<std::string>& errors);

  bool Pending() const { return !buf_.empty() || skipped_ > 0; }
  void Reset() { buf_.clear(), skipped_ = 0; }

 private:
  // How far one reading of the buffer has come; the two bad ones say why.
  enum class Verdict { Pending, Good, BadComplement, BadChecksum };
  static bool IsBad(Verdict v) { return v == Verdict::BadComplement || v == Verdict::BadChecksum; }
  static const char* WhyOf(Verdict v) { return v == Verdict::BadChecksum ? "bad checksum" : "bad address complement"; }
  Verdict Short() const;
  Verdict Long() const;
  bool LooksLong() const;
  void ReportSkipped(std::vector<std::string>& errors);

  std::uint8_t address_;
  std::uint32_t longAddress_;
  std::vector<std::uint8_t> buf_;
  std::size_t skipped_ = 0;
};

}  // namespace statvtk::sim
