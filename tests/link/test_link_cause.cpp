// The cause of a link error in words: each code, the reply time-out, the
// TCP address, and the opening's own words taking precedence.
#include <gtest/gtest.h>

#include "link/link_cause.hpp"
#include "base/error.hpp"
#include "link/tmod07.hpp"

namespace statvtk {
namespace {

struct CauseCase {
  std::uint32_t code;
  LinkCauseContext context;
  std::string expected;
};

class LinkCause : public ::testing::TestWithParam<CauseCase> {};

TEST_P(LinkCause, NamesTheCause) {
  const CauseCase& c = GetParam();
  EXPECT_EQ(LinkCauseText(c.code, c.context), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, LinkCause,
    ::testing::Values(
        CauseCase{0u, {400, "", ""}, ""},
        CauseCase{CodeNumber(ErrorCode::Timeout), {400, "", ""}, "нет ответа за 400 мс (Тайм-аут [2])"},
        CauseCase{CodeNumber(ErrorCode::Timeout), {}, "нет ответа (Тайм-аут [2])"},
        // A note left by a good opening is no cause of a later time-out.
        CauseCase{CodeNumber(ErrorCode::Timeout),
                  {150, "задержка адаптера уменьшена", ""},
                  "нет ответа за 150 мс (Тайм-аут [2])"},
        CauseCase{
            CodeNumber(ErrorCode::BadChecksum),
            {},
            "ответ искажен (неверная контрольная сумма): помехи на линии (Неверная контрольная сумма пакета [4])"},
        CauseCase{
            CodeNumber(ErrorCode::InvalidSocket),
            {150, "", "127.0.0.1:529"},
            "соединение 127.0.0.1:529 закрыто или разорвано (Ошибка INVALID_SOCKET операции чтения/записи [101])"},
        CauseCase{CodeNumber(ErrorCode::Connect),
                  {0, "", "127.0.0.1:529"},
                  "соединение 127.0.0.1:529 не установлено (Ошибка соединения WinSock [105])"},
        CauseCase{
            CodeNumber(ErrorCode::Connect),
            {0, "соединение отвергнуто: на 127.0.0.1:529 никто не принимает подключения", ""},
            "соединение отвергнуто: на 127.0.0.1:529 никто не принимает подключения (Ошибка соединения WinSock [105])"},
        CauseCase{CodeNumber(ErrorCode::PortInit),
                  {0, "порт занят другой программой (/dev/ttyS0)", ""},
                  "порт занят другой программой (/dev/ttyS0) (Ошибка инициализации порта [100])"}));

TEST(LinkCause, TheLinkNamesItsOwnTimeoutAndAddress) {
  TcpLine line;
  line.host = "127.0.0.1";
  line.port = 529;
  Tmod07 link(line, {60, 400, 10});
  link.SetFailure(MakeError(ErrorCode::Timeout, {}));
  EXPECT_EQ(link.CauseText(), "нет ответа за 400 мс (Тайм-аут [2])");
  link.SetFailure(MakeError(ErrorCode::InvalidSocket, {}));
  EXPECT_EQ(link.CauseText().rfind("соединение 127.0.0.1:529 ", 0), 0u);
}

}  // namespace
}  // namespace statvtk
