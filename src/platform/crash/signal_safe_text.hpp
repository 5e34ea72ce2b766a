// Text building and writing that is safe inside a signal handler: a fixed buffer, no allocation,
// nothing but write(2).
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace sparvik {

// Writes all of `text` to `fd`, retrying on EINTR and short writes; gives up on other errors,
// since there is nobody left to tell.
inline void write_all(int fd, std::string_view text) noexcept {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
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
