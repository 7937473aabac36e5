#include "front/part_texts.hpp"

#include <cstdio>
#include <iterator>

namespace statvtk {

namespace {

bool SystemSockets(LinkWording w) {
#ifdef _WIN32
  (void)w;
  return false;  // WinSock is this system's own
#else
  return w == LinkWording::System;
#endif
}

std::string Path(const LineSpec& line) {
  const auto* serial = std::get_if<SerialLine>(&line.target);
  return serial ? serial->Path() : std::string();
}

}  // namespace

std::string CodeText(ErrorCode code, LinkWording w) {
  if (!SystemSockets(w)) return LinkCodeText(CodeNumber(code));
  const std::string number = " [" + std::to_string(CodeNumber(code)) + "]";
  switch (code) {
    case ErrorCode::InvalidSocket: return "Ошибка сокета TCP при чтении/записи" + number;
    case ErrorCode::SocketsNotStarted: return "Ошибка запуска сетевой подсистемы" + number;
    case ErrorCode::Connect: return "Ошибка соединения TCP" + number;
    default: return LinkCodeText(CodeNumber(code));
  }
}

std::string CauseText(const Error& cause, LinkWording w) {
  if (!IsLinkCode(cause.code)) return cause.reason;
  return cause.reason + " (" + CodeText(cause.code, w) + ")";
}

// In the order of Stage.
constexpr const char* kStageTexts[] = {
    "Определение типа устройства...",
    "Чтение памяти RTC",
    "Чтение конфигурации",
    "Чтение статистики",
    "Чтение всей статистики",
    "Чтение часовых записей",
    "Чтение суточных записей",
    "Чтение записей за месяц",
    "Чтение событий",
    "Чтение новых записей",
    "Чтение записей",
    "Поиск приборов...",
};
static_assert(std::size(kStageTexts) == static_cast<std::size_t>(Stage::Search) + 1);

std::string StageText(Stage s) { return kStageTexts[static_cast<std::size_t>(s)]; }

std::string ModelTitle(DeviceType type) {
  switch (type) {
    case DeviceType::dtVTK0812: return "Чтение данных (VTK-0812)";
    case DeviceType::dtVTK0814C:
    case DeviceType::dtVTK0814CM: return "Чтение данных (VTK-0814С)";
    default: return "Чтение данных (LDN-08)";
  }
}

std::string FailureMessage(FailedAt at, const LineSpec& line, LinkWording w) {
  switch (at) {
    case FailedAt::Open:
      if (IsTcp(line.target)) return SystemSockets(w) ? "Ошибка TCP соединения." : "Ошибка WINSOCK соединения.";
      return "Ошибка открытия порта " + Path(line) + ".";
    case FailedAt::Identify: return "Ошибка идентификации прибора.";
    case FailedAt::Rtc: return "Ошибка чтения RTC";
    case FailedAt::Ram: return "Ошибка чтения оперативной памяти";
    case FailedAt::Config: return "Ошибка чтения конфигурации";
    case FailedAt::DataEeprom: return "Ошибка чтения Data EEPROM";
    case FailedAt::Archive: return "Ошибка чтения";
    case FailedAt::Events: return "Ошибка чтения событий";
    case FailedAt::HourlyLast: return "Ошибка чтения часовых записей";
    case FailedAt::DailyLast: return "Ошибка чтения суточных записей";
    case FailedAt::ArchiveMemory: return "Ошибка чтения памяти архива";
    case FailedAt::NotFound: return "Приборы не найдены.";
    default: return {};
  }
}

std::string AddressRefusal(std::uint32_t address) {
  return "Адрес прибора " + std::to_string(address) +
         " вне диапазона 0..255: адреса больше 255 возможны только в режиме M-Bus.";
}

std::string LineDescription(const LineSpec& line) {
  if (line.mode == ConnectMode::Modem) return "Модем, " + Path(line);
  if (const auto* tcp = std::get_if<TcpLine>(&line.target)) return tcp->host + ":" + std::to_string(tcp->port);
  return Path(line) + ", " + std::to_string(std::get<SerialLine>(line.target).baud) + " bps";
}

std::string OpenPortText(const LineSpec& line) {
  if (const auto* tcp = std::get_if<TcpLine>(&line.target))
    return "OpenPort: IP " + tcp->Address() + ":" + std::to_string(tcp->port);
  return "OpenPort: Port " + Path(line) + ", " + std::to_string(std::get<SerialLine>(line.target).baud);
}

std::string ModemText(const event::Modem& m) {
  switch (m.note) {
    case ModemNote::Init: return "Инициализация модема...";
    case ModemNote::Command: return ">>>" + m.text;
    case ModemNote::Reply:
    case ModemNote::Connected: return m.text;
    case ModemNote::NoModem: return "!!!ОШИБКА: Модем не отвечает.";
    case ModemNote::NoPhone: return "!!!ОШИБКА: Отсутствует номер телефона.";
    case ModemNote::Attempt:
      return " \n-=[Попытка дозвона " + std::to_string(m.attempt) + " из " + std::to_string(m.of) + "]=-\n";
    case ModemNote::Answer: return "!!!ОШИБКА: " + m.text;
    case ModemNote::Pause: return ">>>Пауза 5 сек перед повтором...";
    case ModemNote::GaveUp: return "\n!!!ОШИБКА: Невозможно дозвониться по номеру " + m.text + "\n";
    case ModemNote::Stopped: return "\n!!!Прервано пользователем\n";
    case ModemNote::HangUp: return ">>>" + (m.text.empty() ? std::string("+++ATH0") : m.text);
  }
  return {};
}

std::string DialOutcomeText(DialOutcome outcome, const std::string& answer) {
  switch (outcome) {
    case DialOutcome::Connect: return "соединение";
    case DialOutcome::Busy: return "занято";
    case DialOutcome::NoAnswer: return "нет ответа";
    case DialOutcome::NoCarrier: return "нет несущей";
    case DialOutcome::NoDialtone: return "нет гудка в линии";
    case DialOutcome::Error: return "модем ответил ERROR";
    case DialOutcome::Silent: return "модем не отвечает";
    case DialOutcome::Other: break;
  }
  return answer;
}

std::string DialStatusText(const event::Modem& m, const std::string& phone) {
  const std::string call = "Набор " + phone + ", попытка " + std::to_string(m.attempt) + " из " + std::to_string(m.of);
  switch (m.note) {
    case ModemNote::Init: return "Инициализация модема...";
    case ModemNote::NoModem: return m.attempt == 0 ? "Модем не отвечает" : call + ": модем не отвечает";
    case ModemNote::NoPhone: return "Нет номера телефона: Настройки → Соединение...";
    case ModemNote::Attempt: return call + "...";
    case ModemNote::Answer: return call + ": " + DialOutcomeText(m.outcome, m.text);
    case ModemNote::Pause: return call + ": " + DialOutcomeText(m.outcome, m.text) + ", пауза 5 с перед повтором";
    case ModemNote::Connected: return "Соединение установлено: " + m.text;
    case ModemNote::GaveUp: {
      const std::string last = DialOutcomeText(m.outcome, std::string());
      return "Не удалось дозвониться по номеру " + phone + (last.empty() ? "" : ": " + last);
    }
    case ModemNote::Stopped: return "Набор прерван";
    case ModemNote::Command:
    case ModemNote::Reply:
    case ModemNote::HangUp: break;
  }
  return {};
}

std::string ArchiveName(ArchiveKind k) {
  switch (k) {
    case ArchiveKind::Hourly: return "часовые записи";
    case ArchiveKind::Daily: return "суточные записи";
    default: return "месячные записи";
  }
}

namespace {

// In the order of FullReason.
constexpr const char* kFullReasons[] = {
    "прибор не хранит указателей архивов",
    "указатель в файле-основе не указывает на запись",
    "указатель прибора не указывает на запись",
    "файл-основа короче архива",
    "в файле-основе архив прочитан не полностью",
    "часы прибора позади времени файла-основы",
    "с чтения файла-основы архив мог переписаться целиком",
    "указатель прибора ушёл дальше, чем прошло времени",
    "последняя запись файла-основы в приборе другая",
};
static_assert(std::size(kFullReasons) == static_cast<std::size_t>(FullReason::OverlapDiffers) + 1);

std::string FullReasonText(FullReason r) { return kFullReasons[static_cast<std::size_t>(r)]; }

std::string UnfitText(const event::NewRecords& n) {
  switch (n.unfit) {
    case BaseUnfit::NotStatFile: return "не файл статистики";
    case BaseUnfit::Unreadable: return n.error ? n.error->reason : std::string();
    case BaseUnfit::OtherModel: return "файл другой модели";
    case BaseUnfit::OtherSerial: return "файл прибора " + n.baseSerial + ", а прочитан прибор " + n.serial;
  }
  return {};
}

// The base as the log names it: its path, or what an image given as data is.
std::string BaseName(const std::filesystem::path& path) {
  return path.empty() ? std::string("данные прежнего чтения") : path.string();
}

}  // namespace

std::string NewRecordsText(const event::NewRecords& n) {
  const std::string head = "Новые записи: ";
  switch (n.note) {
    case NewNote::NoPointers: return head + "VTK-08.12 не хранит указателей архивов, читается вся статистика.";
    case NewNote::NoBase:
      return head + "в " + n.path.string() + " нет прежнего файла этого прибора, читается вся статистика.";
    case NewNote::Unfit:
      return head + "файл-основа " + BaseName(n.path) + " не подходит (" + UnfitText(n) + "), читается вся статистика.";
    case NewNote::Base: return head + "основа " + BaseName(n.path);
    case NewNote::Full: return head + ArchiveName(n.archive) + " читаются полностью: " + FullReasonText(n.reason) + ".";
    case NewNote::Fresh: return head + ArchiveName(n.archive) + ": " + std::to_string(n.count) + " нов.";
  }
  return {};
}

std::string ElapsedText(long long seconds) {
  if (seconds < 0) seconds = 0;
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.2d:%.2d", static_cast<int>(seconds / 60), static_cast<int>(seconds % 60));
  return std::string(buf) + ")";
}

std::string MBusHint(DeviceType type, bool useMBus) {
  if (type == DeviceType::dtLDN08 && !useMBus)
    return "Подсказка: LDN-08 отвечает на чтение только через M-Bus: включите \"M-Bus\" в "
           "Настройки → Соединение... и задайте длинный адрес прибора.";
  if (useMBus && (type == DeviceType::dtVTK0812 || type == DeviceType::dtVTK0814C || type == DeviceType::dtVTK0814CM))
    return "Подсказка: прибор VTK опознан через M-Bus, но на чтение не отвечает: проверьте \"M-Bus\" в "
           "Настройки → Соединение... (без M-Bus сетевой адрес от 0 до 255).";
  return {};
}

std::string OneSpeedText() { return "Скорость линии задаётся на дальней стороне соединения: опрос на одной скорости."; }

std::string LeftOutText(std::uint32_t address) {
  return "Адрес " + std::to_string(address) +
         " вне диапазона 0..255: адреса больше 255 возможны только в режиме M-Bus.";
}

std::string FoundText(const ScanFound& f) {
  return "Адрес " + std::to_string(f.address) + ", " + std::to_string(f.baud) + " бит/с: " + f.ident;
}

std::string ProbeDetail(std::uint32_t address, std::uint32_t baud) {
  return "адрес " + std::to_string(address) + ", " + std::to_string(baud) + " бит/с";
}

std::string NotReadText(const ReadResult& r, const LineSpec& line, LinkWording w) {
  if (r.outcome == ReadOutcome::Stopped) return std::string(kStopText) + ".";
  if (r.at == FailedAt::Settings) return r.error ? r.error->reason : std::string();
  if (r.at == FailedAt::Address) return AddressRefusal(r.address);
  return FailureMessage(r.at, line, w);
}

}  // namespace statvtk
