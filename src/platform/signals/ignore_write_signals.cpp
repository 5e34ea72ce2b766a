#include "platform/signals/ignore_write_signals.hpp"

#include <array>
#include <csignal>
#include <string_view>
#include <utility>

#include "platform/signals/install_handler.hpp"

namespace sparvik::signals {

std::expected<void, Report> ignore_write_signals() {
  constexpr std::array<std::pair<int, std::string_view>, 2> write_signals{{
      {SIGXFSZ, "SIGXFSZ"},
      {SIGPIPE, "SIGPIPE"},
  }};
  struct sigaction action {};
  action.sa_handler = SIG_IGN;
  sigemptyset(&action.sa_mask);
  for (const auto& [number, name] : write_signals) {
    if (auto ignored = install_handler(number, name, action); !ignored) return ignored;
  }
  return {};
}

}  // namespace sparvik::signals
