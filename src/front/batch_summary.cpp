#include "front/batch_summary.hpp"

namespace statvtk {

std::string BatchSummary(std::span<const ReadReport> reports, std::size_t asked, const LineSpec& line,
                         LinkWording wording) {
  std::size_t read = 0;
  std::string failures;
  for (const ReadReport& rep : reports) {
    const ReadResult& r = rep.result;
    if (r.outcome == ReadOutcome::Done && rep.file.written) {
      ++read;
      continue;
    }
    std::string why = NotReadText(r, line, wording);
    if (why.empty())
      why = rep.file.error ? "Ошибка записи файла статистики: " + rep.file.error->reason : "не прочитан.";
    failures += "; адрес " + std::to_string(r.address) + ": " + why;
  }
  std::string text = "Прочитано " + std::to_string(read) + " из " + std::to_string(asked) + failures;
  if (failures.empty()) text += ".";
  return text;
}

}  // namespace statvtk
