// Link error codes: the result of every link operation (0 = success) and their texts.
#pragma once

#include <cstdint>
#include <string>

namespace statvtk {

namespace link_error {
inline constexpr std::uint32_t kOk = 0;
inline constexpr std::uint32_t kSendFailed = 1;     // fewer bytes written than the packet holds
inline constexpr std::uint32_t kTimeout = 2;        // no byte within the allowed time
inline constexpr std::uint32_t kBadSize = 3;        // announced reply length out of range
inline constexpr std::uint32_t kBadChecksum = 4;    // reply checksum does not match
inline constexpr std::uint32_t kBadAddress = 5;     // reply address complement does not match
inline constexpr std::uint32_t kWrongReply = 6;     // a valid reply to another group or command
inline constexpr std::uint32_t kAborted = 10;       // user abort (text for callers)
inline constexpr std::uint32_t kPortInit = 100;     // the serial port could not be opened
inline constexpr std::uint32_t kInvalidSocket = 101;
inline constexpr std::uint32_t kSocketsNotStarted = 102;
inline constexpr std::uint32_t kConnect = 105;      // connect failed or timed out
inline constexpr std::uint32_t kBadIpAddress = 111; // no address, name not resolved, bad text
}  // namespace link_error

// Message, a blank, "[code]"; empty for code 0.
std::string LinkErrorText(std::uint32_t code);

}  // namespace statvtk
