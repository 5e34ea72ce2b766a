// Opening and configuring a serial line with termios, and the port that reads and writes it with
// poll()-based time-outs.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/io/descriptor_io.hpp"
#include "platform/io/unique_fd.hpp"
#include "platform/serial/deadline.hpp"
#include "platform/serial/line_rate.hpp"
#include "platform/serial/serial_port.hpp"

namespace sparvik::serial {

namespace {

SerialError open_error(int err) {
  SerialErrorKind kind = SerialErrorKind::Io;
  if (err == ENOENT || err == ENODEV || err == ENXIO) kind = SerialErrorKind::NoDevice;
  if (err == EINVAL) kind = SerialErrorKind::InvalidInput;
  return SerialError{kind, std::strerror(err), err};
}

SerialError in_use() {
  return SerialError{SerialErrorKind::Io, "The port is in use by another program", EBUSY};
}

// The port is this program's alone while it is open: a second program on the line would take
// half of every reply. Two guards: the lock, which other serial tools on Linux look for, taken
// before the line is touched; and the exclusive mode, set once the line is set up, which refuses
// any later open but the superuser's. The port clears that mode when it closes, since a
// pseudo-terminal outlives its opener.
std::expected<void, SerialError> lock_line(int fd) {
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return {};
  const int err = errno;
  return std::unexpected(err == EWOULDBLOCK ? in_use() : open_error(err));
}

std::optional<speed_t> standard_speed(std::uint32_t rate) {
  switch (rate) {
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    case 230400:
      return B230400;
    case 460800:
      return B460800;
    case 500000:
      return B500000;
    case 576000:
      return B576000;
    case 921600:
      return B921600;
    case 1000000:
      return B1000000;
    case 1152000:
      return B1152000;
    case 1500000:
      return B1500000;
    case 2000000:
      return B2000000;
    case 2500000:
      return B2500000;
    case 3000000:
      return B3000000;
    case 3500000:
      return B3500000;
    case 4000000:
      return B4000000;
    default:
      return std::nullopt;
  }
}

IoError hung_up() {
  return IoError::custom(IoErrorKind::BrokenPipe, "The serial line hung up");
}

IoError timed_out() {
  return IoError::custom(IoErrorKind::TimedOut, "Operation timed out");
}

bool would_block(const IoError& error) {
  return error.code == EAGAIN || error.code == EWOULDBLOCK;
}

bool line_down(short events) {
  return (events & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

class TermiosPort final : public Port {
 public:
  TermiosPort(io::UniqueFd fd, std::chrono::milliseconds timeout)
      : fd_(std::move(fd)), timeout_(timeout) {}
  ~TermiosPort() override { ::ioctl(fd_.get(), TIOCNXCL); }
  TermiosPort(const TermiosPort&) = delete;
  TermiosPort& operator=(const TermiosPort&) = delete;

  using Port::read;
  std::expected<std::size_t, IoError> read(std::span<std::uint8_t> buffer,
                                           std::chrono::milliseconds timeout) override {
    if (buffer.empty()) return 0;
    const Deadline deadline(timeout);
    bool hang_up_seen = false;
    for (;;) {
      auto got = io::read_some(fd_.get(),
                               std::span(reinterpret_cast<char*>(buffer.data()), buffer.size()));
      if (got && *got > 0) return *got;
      if (got) return std::unexpected(hung_up());  // end of file: the other end is gone
      if (!would_block(got.error())) return std::unexpected(std::move(got.error()));
      // Nothing waiting after the poll reported a hang-up or error: no data will come.
      if (hang_up_seen) return std::unexpected(hung_up());

      auto events = poll_until(fd_.get(), POLLIN, deadline);
      if (!events) return std::unexpected(events.error());
      if (*events == 0) return std::unexpected(timed_out());
      hang_up_seen = line_down(*events) && (*events & POLLIN) == 0;
    }
  }

  std::chrono::milliseconds timeout() const override { return timeout_; }

  std::expected<std::size_t, IoError> write(std::span<const std::uint8_t> data) override {
    const Deadline deadline(timeout_);
    std::size_t written = 0;
    while (written < data.size()) {
      auto taken = io::write_some(
          fd_.get(), std::string_view(reinterpret_cast<const char*>(data.data()) + written,
                                      data.size() - written));
      if (taken && *taken > 0) {
        written += *taken;
        continue;
      }
      if (!taken && !would_block(taken.error())) return std::unexpected(std::move(taken.error()));
      auto events = poll_until(fd_.get(), POLLOUT, deadline);
      if (!events) return std::unexpected(events.error());
      if (*events == 0) {
        if (written > 0) break;
        return std::unexpected(timed_out());
      }
      if ((*events & POLLOUT) == 0 && line_down(*events)) return std::unexpected(hung_up());
    }
    return written;
  }

 private:
  io::UniqueFd fd_;
  std::chrono::milliseconds timeout_;
};

}  // namespace

std::expected<std::unique_ptr<Port>, SerialError> open_port(std::string_view name,
                                                            const PortSettings& settings) {
  if (settings.baudrate == 0) {
    return std::unexpected(
        SerialError{SerialErrorKind::InvalidInput, "Baud rate must be greater than zero", 0});
  }
  // Non-blocking so that neither the open (waiting for carrier) nor any later call can hang:
  // every wait is a poll() with the port's time-out.
  io::UniqueFd fd(::open(std::string(name).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) return std::unexpected(errno == EBUSY ? in_use() : open_error(errno));
  if (auto locked = lock_line(fd.get()); !locked) return std::unexpected(locked.error());

  termios tio{};
  if (::tcgetattr(fd.get(), &tio) != 0) return std::unexpected(open_error(errno));
  ::cfmakeraw(&tio);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  // VMIN 1 (with O_NONBLOCK): an empty queue gives EAGAIN, so a read of 0 bytes can only mean a
  // hang-up. With VMIN 0 the terminal would answer 0 for "nothing yet" as well.
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;

  const auto speed = standard_speed(settings.baudrate);
  if (speed && (::cfsetispeed(&tio, *speed) != 0 || ::cfsetospeed(&tio, *speed) != 0)) {
    return std::unexpected(open_error(errno));
  }
  // TCSANOW without any flush: input the device sent before we opened is the dialogue's to read.
  if (::tcsetattr(fd.get(), TCSANOW, &tio) != 0) return std::unexpected(open_error(errno));
  if (!speed) {
    if (int err = detail::set_arbitrary_rate(fd.get(), settings.baudrate); err != 0) {
      return std::unexpected(open_error(err));
    }
  }
  if (::ioctl(fd.get(), TIOCEXCL) != 0) return std::unexpected(open_error(errno));
  return std::make_unique<TermiosPort>(std::move(fd), settings.timeout);
}

}  // namespace sparvik::serial
