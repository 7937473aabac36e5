// Link error codes: the result of every link operation (0 = success) and
// their texts. The numbers are those of ErrorCode (base/error.hpp).
#pragma once

#include <cstdint>
#include <string>

#include "base/error.hpp"

namespace statvtk {

namespace link_error {
inline constexpr std::uint32_t kOk = 0;
inline constexpr std::uint32_t kSendFailed = 1;   // fewer bytes written than the packet holds
inline constexpr std::uint32_t kTimeout = 2;      // no byte within the allowed time
inline constexpr std::uint32_t kBadSize = 3;      // announced reply length out of range
inline constexpr std::uint32_t kBadChecksum = 4;  // reply checksum does not match
inline constexpr std::uint32_t kBadAddress = 5;   // reply address complement does not match
inline constexpr std::uint32_t kWrongReply = 6;   // a valid reply to another group or command
inline constexpr std::uint32_t kAborted = 10;     // the user's stop ended the exchange
inline constexpr std::uint32_t kPortInit = 100;   // the serial port could not be opened
inline constexpr std::uint32_t kInvalidSocket = 101;
inline constexpr std::uint32_t kSocketsNotStarted = 102;
inline constexpr std::uint32_t kConnect = 105;       // connect failed or timed out
inline constexpr std::uint32_t kBadIpAddress = 111;  // no address, name not resolved, bad text
constexpr std::uint32_t Of(ErrorCode c) { return static_cast<std::uint32_t>(c); }
static_assert(kSendFailed == Of(ErrorCode::SendFailed) && kTimeout == Of(ErrorCode::Timeout) &&
              kBadSize == Of(ErrorCode::BadSize) && kBadChecksum == Of(ErrorCode::BadChecksum) &&
              kBadAddress == Of(ErrorCode::BadAddress) && kWrongReply == Of(ErrorCode::WrongReply) &&
              kAborted == Of(ErrorCode::Stopped) && kPortInit == Of(ErrorCode::PortInit) &&
              kInvalidSocket == Of(ErrorCode::InvalidSocket) &&
              kSocketsNotStarted == Of(ErrorCode::SocketsNotStarted) && kConnect == Of(ErrorCode::Connect) &&
              kBadIpAddress == Of(ErrorCode::BadIpAddress));
}  // namespace link_error

// Message, a blank, "[code]"; empty for code 0.
inline std::string LinkErrorText(std::uint32_t code) { return LinkCodeText(code); }

}  // namespace statvtk
