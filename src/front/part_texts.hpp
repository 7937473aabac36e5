// The words of the reading engine's events and results as the program has
// always shown them, with the link named as this system names it: the one
// place where the engine's codes become texts.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "base/error.hpp"
#include "reading/read_events.hpp"
#include "reading/read_job.hpp"
#include "reading/read_result.hpp"

namespace statvtk {

// How the socket library is named: as the Windows program names it
// ("WINSOCK"), or as this system names it (TCP outside Windows).
enum class LinkWording { Part, System };

inline constexpr const char* kStopText = "Текущая операция прервана по желанию пользователя";
inline constexpr const char* kMoreInfo = "\r\nДополнительная информация: ";
inline constexpr const char* kIncompleteCaption = " (неполные данные)";

// A link code's message, a blank and "[code]" ("Тайм-аут [2]"), in the wording.
std::string CodeText(ErrorCode code, LinkWording w);
// A cause as the user reads it: its words, then its code's text in brackets
// ("нет ответа за 150 мс (Тайм-аут [2])"); the reason alone for other codes.
std::string CauseText(const Error& cause, LinkWording w);

std::string StageText(Stage s);
std::string ModelTitle(DeviceType type);  // "Чтение данных (VTK-0812)"
// The message of a failure at `at` ("Ошибка чтения RTC", "Ошибка идентификации
// прибора."); for an opening, the carrier's ("Ошибка открытия порта COM1.").
std::string FailureMessage(FailedAt at, const LineSpec& line, LinkWording w);
std::string AddressRefusal(std::uint32_t address);  // an address that needs M-Bus

// "COM1, 9600 bps", "Модем, COM1" or "host:port".
std::string LineDescription(const LineSpec& line);
// "OpenPort: IP host:port" or "OpenPort: Port PATH, BAUD".
std::string OpenPortText(const LineSpec& line);

std::string ModemText(const event::Modem& m);
// A step of the dialling of `phone` as the stage text ("Набор 84951234567,
// попытка 2 из 3: занято"); empty for the steps that change nothing.
std::string DialStatusText(const event::Modem& m, const std::string& phone);
std::string DialOutcomeText(DialOutcome outcome, const std::string& answer);  // "занято", "нет ответа"…
std::string NewRecordsText(const event::NewRecords& n);
std::string ArchiveName(ArchiveKind k);  // "часовые записи"

// Minutes and seconds with "%.2d:%.2d", followed by ")".
std::string ElapsedText(long long seconds);
// What to change when an instrument identified as `type` falls silent after
// its identification: LDN-08 is read through M-Bus only, the VTK models
// without it. Empty when the setting fits the model.
std::string MBusHint(DeviceType type, bool useMBus);

// The search's lines.
std::string OneSpeedText();
std::string LeftOutText(std::uint32_t address);  // an address the search cannot ask without M-Bus
std::string FoundText(const ScanFound& f);
std::string ProbeDetail(std::uint32_t address, std::uint32_t baud);  // "адрес 3, 9600 бит/с"

// Why an instrument was not read, as a batch's summary and a failure name it
// ("Ошибка идентификации прибора.", the stop's sentence); empty when it was.
std::string NotReadText(const ReadResult& r, const LineSpec& line, LinkWording w);

}  // namespace statvtk
