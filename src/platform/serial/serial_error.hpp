// Why a serial port could not be listed, opened or configured.
#pragma once

#include <string>

namespace sparvik::serial {

enum class SerialErrorKind { NoDevice, InvalidInput, Unknown, Io };

struct SerialError {
  SerialErrorKind kind = SerialErrorKind::Unknown;
  std::string description;  // the system's own message, e.g. "No such file or directory"
  int code = 0;             // errno when the system gave one

  // The description alone.
  std::string display() const { return description; }
  // Error { kind: Io(NotFound), description: "No such file or directory" }
  std::string debug() const;
};

}  // namespace sparvik::serial
