#include "platform/serial/serial_error.hpp"

#include <fmt/format.h>

#include "platform/io_error.hpp"

namespace sparvik::serial {

namespace {
std::string kind_debug(SerialErrorKind kind, int code) {
  switch (kind) {
    case SerialErrorKind::NoDevice:
      return "NoDevice";
    case SerialErrorKind::InvalidInput:
      return "InvalidInput";
    case SerialErrorKind::Unknown:
      return "Unknown";
    case SerialErrorKind::Io:
      return fmt::format("Io({})", io_error_kind_name(code != 0 ? IoError::from_errno(code).kind
                                                                : IoErrorKind::Other));
  }
  return "Unknown";
}
}  // namespace

std::string SerialError::debug() const {
  return fmt::format("Error {{ kind: {}, description: {} }}", kind_debug(kind, code),
                     debug_quote(description));
}

}  // namespace sparvik::serial
