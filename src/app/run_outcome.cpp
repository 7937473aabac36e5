#include "app/run_outcome.hpp"

#include "app/path_text.hpp"
#include "stats/stat_model.hpp"

namespace statvtk::app {

namespace {

bool ExchangeFailed(const ReadResult& r) {
  if (!r.error) return false;
  const auto code = static_cast<std::uint32_t>(r.error->code);
  return code >= static_cast<std::uint32_t>(ErrorCode::SendFailed) &&
         code <= static_cast<std::uint32_t>(ErrorCode::WrongReply);
}

}  // namespace

QString StatisticsOutcomeText(const ReadResult& result) {
  if (!result.fileWritten) return {};
  QString text = QStringLiteral("Статистика записана: ") + PathText(result.file);
  if (result.outcome != ReadOutcome::Done || result.partial) text += QString::fromUtf8(kIncompleteCaption);
  return text;
}

QString FailureText(const ReadResult& result, std::uint32_t address) {
  const QString message = LocalWording(QString::fromStdString(result.Message()));
  if (!ExchangeFailed(result)) return message.isEmpty() ? QStringLiteral("Нет ответа прибора") : message;
  const QString words = !result.linkCause ? message : QString::fromStdString(result.linkCause->reason);
  return QStringLiteral("адрес %1: ").arg(address) + (words.isEmpty() ? QStringLiteral("нет ответа") : words);
}

QString PollLogLine(const std::vector<QString>& lines, const ReadResult& result, std::uint32_t address) {
  if (result.outcome == ReadOutcome::Done && result.delivered)
    return QStringLiteral("Текущие показания обновлены, адрес %1").arg(address);
  // The last message names what failed (or the stop).
  for (auto it = lines.rbegin(); it != lines.rend(); ++it)
    if (!it->isEmpty()) return LocalWording(*it);
  return {};
}

QString ReadStatCaption(const StatData& data, const QString& readCaption, std::uint32_t address) {
  const QString incomplete = QString::fromUtf8(kIncompleteCaption);
  const std::string_view model = DeviceTypeName(data.type);
  QString text = QStringLiteral("Статистика - ") +
                 QString::fromUtf8(model.data(), static_cast<qsizetype>(model.size())) + QStringLiteral(" № ") +
                 QString::fromStdString(StatSerialText(data)) + QStringLiteral(", адрес %1").arg(address);
  if (readCaption.endsWith(incomplete)) text += incomplete;
  return text;
}

QString FileStatCaption(const std::filesystem::path& file) {
  return QStringLiteral("Статистика - ") + PathText(file.filename());
}

QString LocalWording(const QString& text) {
#ifdef _WIN32
  return text;
#else
  QString shown = text;
  shown.replace(QStringLiteral("WINSOCK"), QStringLiteral("TCP"));
  return shown;
#endif
}

}  // namespace statvtk::app
