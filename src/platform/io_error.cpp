#include "platform/io_error.hpp"

#include <cstdint>
#include <cstring>

#include "utf8/utf8.hpp"

namespace sparvik {

const char* io_error_kind_name(IoErrorKind kind) noexcept {
  switch (kind) {
    case IoErrorKind::NotFound:
      return "NotFound";
    case IoErrorKind::PermissionDenied:
      return "PermissionDenied";
    case IoErrorKind::Interrupted:
      return "Interrupted";
    case IoErrorKind::TimedOut:
      return "TimedOut";
    case IoErrorKind::BrokenPipe:
      return "BrokenPipe";
    case IoErrorKind::InvalidData:
      return "InvalidData";
    case IoErrorKind::InvalidInput:
      return "InvalidInput";
    case IoErrorKind::WriteZero:
      return "WriteZero";
    case IoErrorKind::UnexpectedEof:
      return "UnexpectedEof";
    case IoErrorKind::Other:
      return "Other";
  }
  return "Other";
}

namespace {
IoErrorKind kind_of_errno(int err) {
  switch (err) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return IoErrorKind::NotFound;
    case EACCES:
    case EPERM:
      return IoErrorKind::PermissionDenied;
    case EINTR:
      return IoErrorKind::Interrupted;
    case ETIMEDOUT:
      return IoErrorKind::TimedOut;
    case EPIPE:
      return IoErrorKind::BrokenPipe;
    case EINVAL:
      return IoErrorKind::InvalidInput;
    default:
      return IoErrorKind::Other;
  }
}
}  // namespace

IoError IoError::from_errno(int err) {
  // strerror may share one buffer between threads; the GNU strerror_r gives a stable text.
  char buffer[256];
  const char* text = strerror_r(err, buffer, sizeof buffer);
  return IoError{kind_of_errno(err), err, text};
}

IoError IoError::custom(IoErrorKind kind, std::string message) {
  return IoError{kind, 0, std::move(message)};
}

std::string IoError::display() const {
  if (code == 0) return message;
  return fmt::format("{} (os error {})", message, code);
}

std::string IoError::debug() const {
  if (code == 0) {
    return fmt::format("Custom {{ kind: {}, error: {} }}", io_error_kind_name(kind),
                       debug_quote(message));
  }
  return fmt::format("Os {{ code: {}, kind: {}, message: {} }}", code, io_error_kind_name(kind),
                     debug_quote(message));
}

std::string debug_quote(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out.push_back('"');
  for (std::size_t i = 0; i < text.size();) {
    // Malformed bytes (decoded as U+FFFD) pass through one at a time, as they are.
    const utf8::Decoded d = utf8::decode_at(text, i);
    const std::size_t length = d.valid ? d.length : 1;
    switch (d.code_point) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\0':
        out += "\\0";
        break;
      default:
        // Both blocks of control characters, C0 with DEL and C1 (U+0080 to U+009F).
        if (utf8::is_control(d.code_point)) {
          out += fmt::format("\\u{{{:x}}}", static_cast<std::uint32_t>(d.code_point));
        } else {
          out.append(text.substr(i, length));
        }
    }
    i += length;
  }
  out.push_back('"');
  return out;
}

}  // namespace sparvik
