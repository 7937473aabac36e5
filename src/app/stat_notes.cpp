#include "app/stat_notes.hpp"

#include <QStringList>

#include "stats/record_check.hpp"

namespace statvtk::app {

QString HeldRecordsText(const StatModel& model) {
  const RecordCounts counts = CountRecords(model);
  return QStringLiteral("Записей: часовых %1, суточных %2, месячных %3")
      .arg(counts.Valid(ArchiveKind::Hourly))
      .arg(counts.Valid(ArchiveKind::Daily))
      .arg(counts.Valid(ArchiveKind::Monthly));
}

QString DamagedRecordsText(const StatModel& model) {
  const RecordCounts counts = CountRecords(model);
  QString text;
  if (counts.damaged != 0)
    text = QStringLiteral(
               "%1 записей с невозможными значениями (отрицательные или больше 10^12 м³ объемы, "
               "нечисловые значения): файл, вероятно, поврежден.")
               .arg(counts.damaged);
  if (counts.kvDamaged)
    text += (text.isEmpty() ? QString() : QStringLiteral(" ")) + QStringLiteral("Kv прибора - не число.");
  return text;
}

QString LeftOutRecordsText(const StatModel& model) {
  const RecordCounts counts = CountRecords(model);
  const struct {
    ArchiveKind kind;
    const char* word;
  } kinds[] = {{ArchiveKind::Hourly, "часовых"}, {ArchiveKind::Daily, "суточных"}, {ArchiveKind::Monthly, "месячных"}};
  QStringList parts;
  for (const auto& k : kinds)
    if (counts.Failed(k.kind) != 0)
      parts << QStringLiteral("%1 %2").arg(QString::fromUtf8(k.word)).arg(counts.Failed(k.kind));
  if (parts.isEmpty()) return {};
  return QStringLiteral("Записи с неверной контрольной суммой или датой не показаны: ") +
         parts.join(QStringLiteral(", ")) + QStringLiteral(".");
}

}  // namespace statvtk::app
