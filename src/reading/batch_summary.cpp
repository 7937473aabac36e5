#include "reading/batch_summary.hpp"

namespace statvtk {

std::string BatchSummary(std::span<const ReadResult> results, std::size_t asked) {
  std::size_t read = 0;
  std::string failures;
  for (const ReadResult& r : results) {
    if (r.outcome == ReadOutcome::Done && r.fileWritten) {
      ++read;
      continue;
    }
    const std::string why = r.outcome == ReadOutcome::Stopped ? "Текущая операция прервана по желанию пользователя."
                            : !r.Message().empty() ? r.Message()
                            : r.fileError ? "Ошибка записи файла статистики: " + r.fileError->reason
                                          : "не прочитан.";
    failures += "; адрес " + std::to_string(r.address) + ": " + why;
  }
  std::string text = "Прочитано " + std::to_string(read) + " из " + std::to_string(asked) + failures;
  if (failures.empty()) text += ".";
  return text;
}

}  // namespace statvtk
