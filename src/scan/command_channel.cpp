#include "scan/command_channel.hpp"

#include <algorithm>
#include <array>
#include <chrono>
#include <span>
#include <thread>

#include "platform/serial/deadline.hpp"
#include "scan/lossy_utf8.hpp"
#include "scan/prompt_reader.hpp"

namespace sparvik::scan {

namespace {
constexpr std::size_t kReadBufferSize = 256;
constexpr std::uint64_t kPauseAfterReply = 200;
}  // namespace

void wait_sync(std::uint64_t ms) {
  constexpr auto kLongest = static_cast<std::uint64_t>(std::chrono::milliseconds::max().count());
  const std::chrono::milliseconds pause(
      static_cast<std::chrono::milliseconds::rep>(std::min(ms, kLongest)));
  std::this_thread::sleep_until(serial::time_after(pause));
}

std::vector<std::uint8_t> read_port(serial::Port& port, std::chrono::milliseconds silence) {
  std::array<std::uint8_t, kReadBufferSize> buffer{};
  return read_until_prompt(port, buffer, kMaxCommandReply, silence);
}

std::expected<std::string, SparvikError> send_cmd(serial::Port& port, std::string_view cmd,
                                                  std::uint64_t wait,
                                                  std::chrono::milliseconds silence) {
  const std::span<const std::uint8_t> data(reinterpret_cast<const std::uint8_t*>(cmd.data()),
                                           cmd.size());
  if (auto written = port.write(data); !written) {
    return std::unexpected(SparvikError::SendError(std::move(written.error())));
  }
  wait_sync(wait);
  const std::vector<std::uint8_t> reply = read_port(port, silence);
  std::string text = utf8_lossy(reply);
  wait_sync(kPauseAfterReply);
  return text;
}

}  // namespace sparvik::scan
