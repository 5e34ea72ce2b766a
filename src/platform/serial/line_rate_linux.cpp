// Never include <termios.h> here: its struct termios is not the kernel's.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

#include "platform/serial/line_rate.hpp"

namespace sparvik::serial::detail {

int set_arbitrary_rate(int fd, std::uint32_t rate) noexcept {
  termios2 tio{};
  if (::ioctl(fd, TCGETS2, &tio) != 0) return errno;
  tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  tio.c_ispeed = rate;
  tio.c_ospeed = rate;
  if (::ioctl(fd, TCSETS2, &tio) != 0) return errno;
  return 0;
}

std::expected<LineRate, int> read_line_rate(int fd) noexcept {
  termios2 tio{};
  if (::ioctl(fd, TCGETS2, &tio) != 0) return std::unexpected(errno);
  return LineRate{tio.c_ispeed, tio.c_ospeed};
}

}  // namespace sparvik::serial::detail
