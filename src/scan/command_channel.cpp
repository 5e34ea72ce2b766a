#include "scan/command_channel.hpp"

#include <array>
#include <chrono>
#include <span>
#include <thread>

#include "scan/lossy_utf8.hpp"
#include "scan/prompt_reader.hpp"

namespace sparvik::scan {

namespace {
constexpr std::size_t kReadBufferSize = 256;
constexpr std::uint64_t kPauseAfterReply = 200;
}  // namespace

void wait_sync(std::uint64_t ms) {
  using Clock = std::chrono::steady_clock;
  const auto now = Clock::now();
  // Saturate rather than overflow the deadline for absurd values.
  const auto headroom =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::time_point::max() - now);
  const auto deadline = ms >= static_cast<std::uint64_t>(headroom.count())
                            ? Clock::time_point::max()
                            : now + std::chrono::milliseconds(static_cast<std::int64_t>(ms));
  std::this_thread::sleep_until(deadline);
}

std::vector<std::uint8_t> read_port(serial::Port& port) {
  std::array<std::uint8_t, kReadBufferSize> buffer{};
  return read_until_prompt(port, buffer, kMaxCommandReply);
}

std::expected<std::string, SparvikError> send_cmd(serial::Port& port, std::string_view cmd,
                                                  std::uint64_t wait) {
  const std::span<const std::uint8_t> data(reinterpret_cast<const std::uint8_t*>(cmd.data()),
                                           cmd.size());
  if (auto written = port.write(data); !written) {
    return std::unexpected(SparvikError::SendError(std::move(written.error())));
  }
  wait_sync(wait);
  const std::vector<std::uint8_t> reply = read_port(port);
  std::string text = utf8_lossy(reply);
  wait_sync(kPauseAfterReply);
  return text;
}

}  // namespace sparvik::scan
