#include "app/run_outcome.hpp"

#include "app/path_text.hpp"
#include "front/part_texts.hpp"
#include "stats/stat_model.hpp"

namespace statvtk::app {

namespace {

bool ExchangeFailed(const ReadResult& r) {
  if (!r.error) return false;
  const auto code = static_cast<std::uint32_t>(r.error->code);
  return code >= static_cast<std::uint32_t>(ErrorCode::SendFailed) &&
         code <= static_cast<std::uint32_t>(ErrorCode::WrongReply);
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

QString StatisticsOutcomeText(const ReadReport& report) {
  if (!report.file.written) return {};
  QString text = QStringLiteral("Статистика записана: ") + PathText(report.file.path);
  if (report.result.outcome != ReadOutcome::Done || report.result.partial)
    text += QString::fromUtf8(kIncompleteCaption);
  return text;
}

QString FailureText(const ReadReport& report, const LineSpec& line, std::uint32_t address) {
  const ReadResult& r = report.result;
  const QString message = Q(NotReadText(r, line, LinkWording::System));
  if (!ExchangeFailed(r)) return message.isEmpty() ? QStringLiteral("Нет ответа прибора") : message;
  const QString words = Q(CauseText(*r.error, LinkWording::System));
  return QStringLiteral("адрес %1: ").arg(address) + (words.isEmpty() ? QStringLiteral("нет ответа") : words);
}

QString PollLogLine(const std::vector<QString>& lines, const ReadReport& report, std::uint32_t address) {
  if (report.result.outcome == ReadOutcome::Done && report.delivered)
    return QStringLiteral("Текущие показания обновлены, адрес %1").arg(address);
  // The last message names what failed (or the stop).
  for (auto it = lines.rbegin(); it != lines.rend(); ++it)
    if (!it->isEmpty()) return *it;
  return {};
}

QString ReadStatCaption(const StatData& data, bool partial, std::uint32_t address) {
  const std::string_view model = DeviceTypeName(data.type);
  QString text = QStringLiteral("Статистика - ") +
                 QString::fromUtf8(model.data(), static_cast<qsizetype>(model.size())) + QStringLiteral(" № ") +
                 Q(StatSerialText(data)) + QStringLiteral(", адрес %1").arg(address);
  if (partial) text += QString::fromUtf8(kIncompleteCaption);
  return text;
}

QString FileStatCaption(const std::filesystem::path& file) {
  return QStringLiteral("Статистика - ") + PathText(file.filename());
}

}  // namespace statvtk::app
