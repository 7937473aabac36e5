// Link error codes: the result of every link operation (0 = success) and
// their texts. The numbers are those of ErrorCode (base/error.hpp).
#pragma once

#include <cstdint>
#include <string>

#include "base/error.hpp"

namespace statvtk {

namespace link_error {
constexpr std::uint32_t Of(ErrorCode c) { return static_cast<std::uint32_t>(c); }
inline constexpr std::uint32_t kOk = 0;
inline constexpr std::uint32_t kSendFailed = Of(ErrorCode::SendFailed);
inline constexpr std::uint32_t kTimeout = Of(ErrorCode::Timeout);
inline constexpr std::uint32_t kBadSize = Of(ErrorCode::BadSize);
inline constexpr std::uint32_t kBadChecksum = Of(ErrorCode::BadChecksum);
inline constexpr std::uint32_t kBadAddress = Of(ErrorCode::BadAddress);
inline constexpr std::uint32_t kWrongReply = Of(ErrorCode::WrongReply);
inline constexpr std::uint32_t kAborted = Of(ErrorCode::Stopped);
inline constexpr std::uint32_t kPortInit = Of(ErrorCode::PortInit);
inline constexpr std::uint32_t kInvalidSocket = Of(ErrorCode::InvalidSocket);
inline constexpr std::uint32_t kSocketsNotStarted = Of(ErrorCode::SocketsNotStarted);
inline constexpr std::uint32_t kConnect = Of(ErrorCode::Connect);
inline constexpr std::uint32_t kBadIpAddress = Of(ErrorCode::BadIpAddress);
}  // namespace link_error

// Message, a blank, "[code]"; empty for code 0.
inline std::string LinkErrorText(std::uint32_t code) { return LinkCodeText(code); }

}  // namespace statvtk
