// Text building and writing that is safe inside a signal handler: a fixed buffer, no allocation,
// nothing but write(2).
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace sparvik {

// Writes as much of `text` to `fd` as the system takes, retrying interrupted and short writes.
// Never fails and never allocates: any other failure (or a write that takes nothing) ends it,
// since there is nobody left to tell. Keeps errno for the code the signal interrupted.
inline void best_effort_signal_safe_write(int fd, std::string_view text) noexcept {
  const int saved_errno = errno;
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  errno = saved_errno;
}

// Appends to a fixed buffer; what does not fit is cut off.
template <std::size_t N>
class FixedText {
 public:
  FixedText& append(std::string_view text) noexcept {
    for (char c : text) {
      if (size_ == N) break;
      data_[size_++] = c;
    }
    return *this;
  }

  FixedText& append_decimal(std::uintmax_t value) noexcept { return append_number(value, 10); }
  FixedText& append_hex(std::uintmax_t value) noexcept {
    append("0x");
    return append_number(value, 16);
  }

  std::string_view view() const noexcept { return {data_, size_}; }

 private:
  FixedText& append_number(std::uintmax_t value, unsigned base) noexcept {
    char digits[24];
    std::size_t n = 0;
    do {
      digits[n++] = "0123456789abcdef"[value % base];
      value /= base;
    } while (value != 0);
    while (n > 0) append(std::string_view(&digits[--n], 1));
    return *this;
  }

  char data_[N];
  std::size_t size_ = 0;
};

}  // namespace sparvik
