#include "main/startup.hpp"

#include <fmt/format.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "main/sweep_start.hpp"
#include "platform/crash/crash.hpp"
#include "platform/log/log.hpp"
#include "platform/serial/serial_port.hpp"
#include "platform/signals/stop_signals.hpp"
#include "platform/terminal/ncurses_backend.hpp"
#include "platform/terminal/terminal.hpp"
#include "structs/saved_config.hpp"
#include "ui_struct/app_info.hpp"

namespace sparvik {

std::expected<void, SparvikError> run_program(std::string_view program_name) {
  // Held in an optional so that teardown can say exactly when logging ends: last of all.
  std::optional<log::Logger> logger;
  if (auto started = log::start_file_logger(log_filter, program_name); started) {
    logger.emplace(std::move(*started));
  } else {
    return std::unexpected(SparvikError::LoggerError(std::move(started.error())));
  }
  SPARVIK_LOG(log::Level::Info, log::Origin("info", "sparvik"), "Logging started");

  if (auto hooks = install_report_hooks(); !hooks) {
    return std::unexpected(SparvikError::TUIInitialization(std::move(hooks.error())));
  }
  // Before curses starts: it puts an exit of its own on SIGINT and SIGTERM where it finds the
  // default action, and that exit skips the teardown below.
  if (auto noted = signals::note_stop_signals(); !noted) {
    return std::unexpected(SparvikError::TUIInitialization(std::move(noted.error())));
  }

  // The back end puts the terminal's restore in front of the crash hooks before it touches the
  // terminal, so the fatal report below is printed on a restored console.
  auto backend = term::NcursesBackend::create();
  if (!backend) {
    fatal(fmt::format("failed to initialize terminal: {}", backend.error().display()));
  }
  std::optional<term::Terminal> terminal;
  if (auto created = term::Terminal::create(**backend); created) {
    terminal.emplace(std::move(*created));
  } else {
    fatal(fmt::format("failed to initialize terminal: {}", created.error().display()));
  }

  auto ports = serial::list_ports();
  if (!ports) {
    terminal.reset();
    term::restore();
    return std::unexpected(SparvikError::PortConnection(std::move(ports.error())));
  }

  // A missing or unreadable settings file is no error: the defaults apply.
  std::optional<SavedConfig> saved;
  if (auto read = read_config(); read) saved = std::move(*read);

  std::optional<AppInfo> app = AppInfo::build(std::move(*ports), std::move(saved));
  app->start_worker = spawn_sweep_worker;
  app->stop_requested = signals::stop_requested;
  auto ran = app->run(*terminal);

  terminal.reset();  // shows the cursor again
  app.reset();       // a sweep worker still running keeps the shared cells alive
  term::restore();
  std::expected<void, SparvikError> outcome;
  if (!ran) outcome = std::unexpected(SparvikError::TUIRuntimeError(std::move(ran.error())));
  if (auto stop = signals::stop_signal()) {
    SPARVIK_LOG(log::Level::Info, log::Origin("info", "sparvik"), "Stopped by {}", stop->name);
  }
  logger.reset();  // writes out the buffered lines; later records of a worker are dropped
  return outcome;
}

}  // namespace sparvik
