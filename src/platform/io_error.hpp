// An operating-system input/output failure, captured at the point where it happened.
#pragma once

#include <fmt/format.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

namespace sparvik {

// Broad class of an I/O failure, named like the usual error kinds so that debug forms read alike
// on every platform.
enum class IoErrorKind {
  NotFound,
  PermissionDenied,
  Interrupted,
  TimedOut,
  BrokenPipe,
  InvalidData,
  InvalidInput,
  WriteZero,
  UnexpectedEof,
  Other,
};

const char* io_error_kind_name(IoErrorKind kind) noexcept;

struct IoError {
  IoErrorKind kind = IoErrorKind::Other;
  int code = 0;         // errno at the point of failure, 0 for errors of our own making
  std::string message;  // strerror text, or our own text when code is 0

  // From errno (or an explicit error number) right after the failing call.
  static IoError from_errno(int err = errno);
  // An error the program itself detected, e.g. invalid UTF-8.
  static IoError custom(IoErrorKind kind, std::string message);

  // "No such file or directory (os error 2)", or the bare message for custom errors.
  std::string display() const;
  // Os { code: 2, kind: NotFound, message: "No such file or directory" }
  // Custom { kind: InvalidData, error: "stream did not contain valid UTF-8" }
  std::string debug() const;
};

// Quotes a text the way debug forms do: double quotes, with quotes, backslashes and control
// characters escaped.
std::string debug_quote(std::string_view text);

}  // namespace sparvik
