#include "platform/signals/ignore_write_signals.hpp"

#include <array>
#include <csignal>
#include <string_view>

#include "platform/signals/install_handler.hpp"

namespace sparvik::signals {

std::expected<void, Report> ignore_write_signals() {
  struct WriteSignal {
    int number;
    std::string_view name;
  };
  constexpr std::array<WriteSignal, 2> write_signals{{
      {SIGXFSZ, "SIGXFSZ"},
      {SIGPIPE, "SIGPIPE"},
  }};
  struct sigaction action {};
  action.sa_handler = SIG_IGN;
  sigemptyset(&action.sa_mask);
  return install_handlers(write_signals, action);
}

}  // namespace sparvik::signals
