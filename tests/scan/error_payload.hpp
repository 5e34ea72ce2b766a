// The payloads tests look at, read without dereferencing a possibly null pointer.
#pragma once

#include <string>

#include "structs/errors.hpp"

namespace sparvik::scan::testing {

// The text an error carries, or "<no text>".
inline std::string text_of(const SparvikError& error) {
  const std::string* text = error.payload<std::string>();
  return text != nullptr ? *text : "<no text>";
}

// The errno of the I/O error an error carries, or -1.
inline int os_code_of(const SparvikError& error) {
  const IoError* io = error.payload<IoError>();
  return io != nullptr ? io->code : -1;
}

}  // namespace sparvik::scan::testing
