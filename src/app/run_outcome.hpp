// The texts the frame shows for a run's end: the result on status panel 0,
// a failure with the address it concerns, one log line per poll, the
// captions of statistics windows.
#pragma once

#include <QString>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "front/part_sink.hpp"

namespace statvtk::app {

// "Статистика записана: <file>" (a stop or a failure: "(неполные данные)"
// after it); empty when no file was written.
QString StatisticsOutcomeText(const ReadReport& report);
// The failure's message; an exchange with the instrument that failed names
// its address and the link's words: "адрес 2: нет ответа за 150 мс".
QString FailureText(const ReadReport& report, const LineSpec& line, std::uint32_t address);
// A failed run the user started, for the result bar: that it failed, the
// address, the stage it was in and the cause: "Чтение не удалось (адрес 3,
// чтение часовых записей): Ошибка чтения часовых записей — нет ответа за
// 150 мс (Тайм-аут [2])". `head` names what failed ("Чтение не удалось").
QString FailedRunText(const QString& head, const ReadReport& report, const LineSpec& line, std::uint32_t address);
// Where the records read before a failure went: "Записи, прочитанные до ошибки: <file>".
QString PartialFileText(const ReadReport& report);
// "Проверить связь": who answered, on one line ("Связь есть: VTK-08.14 C
// № 50179157, адрес 3, ПО VTK0814-C ver.2.11") or as the lines of a box.
QString CheckAnswerLine(const ReadReport& report, std::uint32_t address);
QString CheckAnswerText(const ReadReport& report, std::uint32_t address);
// The firmware version in an identification text ("2.11" of "VTK0814-C ver.2.11"); empty when none is seen.
QString FirmwareOf(const QString& ident);

// The one log line of a poll of the current readings (the poll's own steps,
// port, identification, read, are not told each time): that it went well,
// else its last message.
QString PollLogLine(const std::vector<QString>& lines, const ReadReport& report, std::uint32_t address);

// "Статистика - VTK-08.14 C № 50179157, адрес 3", and " (неполные данные)"
// after it for a read a stop or a failure cut short.
QString ReadStatCaption(const StatData& data, bool partial, std::uint32_t address);
// "Статистика - <file name>".
QString FileStatCaption(const std::filesystem::path& file);

}  // namespace statvtk::app
