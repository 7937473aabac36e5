// The texts the frame shows for a run's end: the result on status panel 0,
// a failure with the address it concerns, one log line per poll, the
// captions of statistics windows, and the Linux wording of the link texts.
#pragma once

#include <QString>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "reading/read_thread.hpp"

namespace statvtk::app {

// "Статистика записана: <file>" (a stop or a failure: "(неполные данные)"
// after it); empty when no file was written.
QString StatisticsOutcomeText(const ReadResult& result);
// The failure's message; an exchange with the instrument that failed names
// its address and the link's words: "адрес 2: нет ответа за 150 мс".
QString FailureText(const ReadResult& result, std::uint32_t address);
// The one log line of a poll of the current readings (the poll's own steps,
// port, identification, read, are not told each time): that it went well,
// else its last message.
QString PollLogLine(const std::vector<QString>& lines, const ReadResult& result, std::uint32_t address);

// "Статистика - VTK-08.14 C № 50179157, адрес 3", keeping the reading's
// " (неполные данные)".
QString ReadStatCaption(const StatData& data, const QString& readCaption, std::uint32_t address);
// "Статистика - <file name>".
QString FileStatCaption(const std::filesystem::path& file);

// The link's texts as the system says them: the socket library is "TCP"
// outside Windows ("Ошибка WINSOCK соединения." there).
QString LocalWording(const QString& text);

}  // namespace statvtk::app
