#include "reading/run_context.hpp"

#include "reading/read_text.hpp"

namespace statvtk {

std::string RunContext::ElapsedTextNow() const {
  const auto d = std::chrono::steady_clock::now() - started_;
  return ElapsedText(std::chrono::duration_cast<std::chrono::seconds>(d).count());
}

}  // namespace statvtk
