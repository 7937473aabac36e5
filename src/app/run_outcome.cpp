#include "app/run_outcome.hpp"

#include <QRegularExpression>

#include "app/path_text.hpp"
#include "base/printable_text.hpp"
#include "reading/read_text.hpp"
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

QString DialFailed(const LineSpec& line) {
  return QStringLiteral("Не удалось дозвониться по номеру ") + Q(line.dial.phoneNo);
}

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
  // The modem's own answer says why ("BUSY", "модем не отвечает").
  if (r.at == FailedAt::Dial)
    return DialFailed(line) +
           (r.error && !r.error->reason.empty() ? QStringLiteral(": ") + Q(r.error->reason) : QString());
  const QString message = Q(NotReadText(r, line, LinkWording::System));
  if (!ExchangeFailed(r)) return message.isEmpty() ? QStringLiteral("Нет ответа прибора") : message;
  const QString words = Q(CauseText(*r.error, LinkWording::System));
  return QStringLiteral("адрес %1: ").arg(address) + (words.isEmpty() ? QStringLiteral("нет ответа") : words);
}

namespace {

// "Чтение часовых записей" as a part of a sentence: "чтение часовых записей".
QString StagePart(Stage stage) {
  QString text = Q(StageText(stage));
  while (text.endsWith(QLatin1Char('.'))) text.chop(1);
  if (!text.isEmpty()) text[0] = text[0].toLower();
  return text;
}

QString WithoutDot(QString text) {
  if (text.endsWith(QLatin1Char('.')) && !text.endsWith(QStringLiteral(".."))) text.chop(1);
  return text;
}

}  // namespace

QString FailedRunText(const QString& head, const ReadReport& report, const LineSpec& line, std::uint32_t address) {
  const ReadResult& r = report.result;
  QString where = QStringLiteral("адрес %1").arg(address);
  if (report.stage) where += QStringLiteral(", ") + StagePart(*report.stage);
  QString message = WithoutDot(Q(NotReadText(r, line, LinkWording::System)));
  if (r.at == FailedAt::Dial) message = DialFailed(line);
  // A refused setting is its own cause.
  const bool ownCause = r.at == FailedAt::Settings || r.at == FailedAt::Address;
  QString cause = r.error && !ownCause ? Q(CauseText(*r.error, LinkWording::System)) : QString();
  if (r.at == FailedAt::Dial && r.error) cause = Q(r.error->reason);
  QString text = head + QStringLiteral(" (") + where + QStringLiteral("): ");
  text += message.isEmpty() ? QStringLiteral("нет ответа прибора") : message;
  if (!cause.isEmpty()) text += QStringLiteral(" — ") + cause;
  return text;
}

QString PartialFileText(const ReadReport& report) {
  if (!report.file.written) return {};
  return QStringLiteral("Записи, прочитанные до ошибки: ") + PathText(report.file.path);
}

QString FirmwareOf(const QString& ident) {
  static const QRegularExpression version(QStringLiteral(R"((?:\bver\.?|\bv|\bfw)\s*(\d+(?:\.\d+)+))"),
                                          QRegularExpression::CaseInsensitiveOption);
  return version.match(ident).captured(1);
}

namespace {

QString Who(const ReadReport& report, std::uint32_t address) {
  const ReadResult& r = report.result;
  const std::string_view model = DeviceTypeName(r.type);
  QString who = QString::fromUtf8(model.data(), static_cast<qsizetype>(model.size()));
  if (r.data && r.data->header.size() >= 1024) {
    std::span<const std::uint8_t, 1024> block(r.data->header.data(), 1024);
    if (const std::string serial = CurrentSerialText(r.type, block); !serial.empty())
      who += QStringLiteral(" № ") + Q(serial);
  }
  return who + QStringLiteral(", адрес %1").arg(address);
}

}  // namespace

QString CheckAnswerLine(const ReadReport& report, std::uint32_t address) {
  const QString ident = Q(PrintableText(report.result.identText));
  const QString firmware = FirmwareOf(ident);
  return QStringLiteral("Связь есть: ") + Who(report, address) + QStringLiteral(", ПО ") +
         (firmware.isEmpty() ? ident : firmware);
}

QString CheckAnswerText(const ReadReport& report, std::uint32_t address) {
  const QString ident = Q(PrintableText(report.result.identText));
  QString text = QStringLiteral("Прибор отвечает: ") + Who(report, address);
  if (const QString firmware = FirmwareOf(ident); !firmware.isEmpty())
    text += QStringLiteral("\nВерсия ПО: ") + firmware;
  return text + QStringLiteral("\nИдентификация: ") + ident;
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
