// The one way the core reports a failure: a code from one enum, the system's
// error number where there is one, and the reason for a person; operations
// return an Error, or a Result<T> that holds either the value or the Error.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace statvtk {

enum class ErrorCode : std::uint32_t {
  // Link errors: the numbers are the instruments' link codes and show up as
  // "[n]" in the texts a user sees (LinkCodeText).
  SendFailed = 1,           // fewer bytes written than the packet holds
  Timeout = 2,              // no byte within the allowed time
  BadSize = 3,              // announced reply length out of range
  BadChecksum = 4,          // reply checksum does not match
  BadAddress = 5,           // reply address complement does not match
  WrongReply = 6,           // a valid reply to another group or command
  Stopped = 10,             // the user's stop request ended the operation
  PortInit = 100,           // the serial port could not be opened
  InvalidSocket = 101,      // no socket, or the socket failed
  SocketsNotStarted = 102,  // the socket library could not be started
  Connect = 105,            // connect failed or timed out
  BadIpAddress = 111,       // no address, name not resolved, bad text
  // The modem.
  DialFailed = 120,  // the modem did not connect (the reason: its answer)
  // Files.
  FileSystem = 1000,  // the system refused (Error::systemCode holds its number)
  NotRegularFile,     // a folder, a device, a FIFO where a file was expected
  FileTooLarge,       // more bytes than the reader allows
  BadFile,            // a file of the wrong size or contents
  NotStatFile,        // a name whose extension is none of a statistics file's
  // Settings and command lines.
  BadSettings = 1100,  // a value or option that cannot be used
  // Data the core makes or reads (templates, workbooks, archives, records).
  BadData = 1200,
  // The record store (SQLite, PostgreSQL): the kind of its failure, so that a
  // caller can tell a store it cannot reach now from one that refuses.
  StoreBusy = 1300,  // locked by another connection past the wait, a deadlock, a serialization conflict
  StoreUnreachable,  // no connection: the server is down or went away, the file cannot be opened
  StoreConstraint,   // a row broke a key or a check
  StoreFull,         // the disk is full, or the store is read-only (file, connection, standby server)
  StoreCorrupt,      // damaged pages, or a file that is no database
  StoreSchema,       // a schema newer than the program, or not the one a read-only opening can use
  StoreFailed,       // any other refusal (a statement not taken, out of memory, an I/O error)
};

// The number of a code, as the link and its texts show it.
constexpr std::uint32_t CodeNumber(ErrorCode code) { return static_cast<std::uint32_t>(code); }

// The link codes the instruments' protocol defines (1..6, 10, 100..111).
bool IsLinkCode(ErrorCode code);

// A link code's message, a blank and "[code]"; empty for 0, "Неизвестная
// ошибка [code]" for a number the protocol does not define.
std::string LinkCodeText(std::uint32_t code);

struct Error {
  ErrorCode code = ErrorCode::BadData;
  int systemCode = 0;  // errno, GetLastError() or a socket error; 0 when none
  std::string reason;  // the words for a person, complete as they are shown

  // For link codes: LinkCodeText of the code; else the reason.
  std::string Text() const;
  bool IsStop() const { return code == ErrorCode::Stopped; }
};

inline Error MakeError(ErrorCode code, std::string reason, int systemCode = 0) {
  return Error{code, systemCode, std::move(reason)};
}

// Either a value or the Error that kept it from being made (the shape of
// C++23's std::expected, which the compilers of this project lack in C++20).
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}      // NOLINT: implicit on purpose
  Result(Error error) : v_(std::in_place_index<1>, std::move(error)) {}  // NOLINT

  bool has_value() const { return v_.index() == 0; }
  explicit operator bool() const { return has_value(); }
  T& value() & { return std::get<0>(v_); }
  const T& value() const& { return std::get<0>(v_); }
  // A temporary gives its value away, not a reference into itself: a
  // reference would dangle as soon as the statement (or the header of a
  // range-for) ends.
  T value() && { return std::get<0>(std::move(v_)); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T operator*() && { return std::move(*this).value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  const Error& error() const { return std::get<1>(v_); }
  Error& error() { return std::get<1>(v_); }

 private:
  std::variant<T, Error> v_;
};

// Success with nothing to hand back, or the Error.
template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Error error) : error_(std::move(error)) {}  // NOLINT: implicit on purpose

  bool has_value() const { return !error_.has_value(); }
  explicit operator bool() const { return has_value(); }
  void value() const {}
  const Error& error() const { return *error_; }
  Error& error() { return *error_; }

 private:
  std::optional<Error> error_;
};

// A run of steps that are all tried: `first` keeps the first failure.
inline void KeepFirstError(Result<void>& first, Result<void> next) {
  if (first && !next) first = std::move(next);
}

}  // namespace statvtk
