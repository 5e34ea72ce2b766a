// One run of the built program in a tmux pane, inside a private mount namespace that decides which
// serial ports it finds and lets the simulated analyser answer under /dev/ttyS0. The run has a
// working directory of its own; after the program ends the pane shows its exit status and the
// terminal's flags, which the checks read back, beside the terminal's settings from before and
// after in files.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "e2e/tmux_session.hpp"
#include "support/temp_dir.hpp"

namespace sparvik::e2e {

struct Launch {
  // Device paths the port enumeration reports, in this order (e.g. "/dev/ttyS0").
  std::vector<std::string> ports{};
  // When set, this pty answers as /dev/ttyS0.
  std::string analyser_pty{};
  // Shell commands run in the namespace after the ports are set up, before the program starts.
  std::vector<std::string> setup{};
  // Where the program starts, relative to the run's directory.
  std::string working_subdir{};
  // Standard error on the pane instead of in the file "stderr.txt".
  bool stderr_on_screen = false;
  // Redirections of the program's own, e.g. "</dev/null".
  std::string redirections{};
};

class ProgramRun {
 public:
  // Why this machine cannot do such runs (not root, no mount namespaces, no tmux); none when it
  // can.
  static std::optional<std::string> unavailable();

  ProgramRun();
  ~ProgramRun();
  ProgramRun(const ProgramRun&) = delete;
  ProgramRun& operator=(const ProgramRun&) = delete;

  const std::filesystem::path& dir() const { return dir_.path(); }
  void write_file(std::string_view name, std::string_view text) const;
  // The whole file, or none when it does not exist.
  std::optional<std::string> read_file(std::string_view name) const;
  // Names of the files in the run's directory that start and end as given, sorted.
  std::vector<std::string> files_like(std::string_view prefix, std::string_view suffix) const;

  void start(const Launch& launch, int width = 120, int height = 32);
  TmuxSession& pane() { return *pane_; }

  bool wait_for_text(std::string_view text,
                     std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
  // Types the keys (tmux key names).
  void keys(const std::vector<std::string>& names) const { pane_->send_keys(names); }

  // Waits until the program has ended and the shell has printed what follows; the exit status,
  // or none on time-out.
  std::optional<int> wait_for_exit(std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // The terminal's settings after the program, as words of "stty -a" ("icanon", "-echo", ...).
  const std::set<std::string>& tty_flags() const { return tty_flags_; }
  // The terminal's whole settings ("stty -g") before the program started and after it ended.
  std::optional<std::string> tty_settings_before() const { return read_file(tty_before_file); }
  std::optional<std::string> tty_settings_after() const { return read_file(tty_after_file); }

  // Sends `signal` to the running program itself (not the shell around it); fails the test when
  // the program never started.
  void send_signal(int signal) const;
  // The pane's screen as it was when the exit was seen.
  const std::string& final_screen() const { return final_screen_; }

  // What the program wrote to standard error (when not on the pane).
  std::string program_stderr() const;
  // The run's only log file; fails the test when there is none or more than one.
  std::string log_text() const;

 private:
  static constexpr std::string_view tty_before_file = "tty-before.txt";
  static constexpr std::string_view tty_after_file = "tty-after.txt";
  static constexpr std::string_view pid_file = "program.pid";

  test_support::TempDir dir_;
  std::unique_ptr<TmuxSession> pane_;
  std::set<std::string> tty_flags_;
  std::string final_screen_;
};

}  // namespace sparvik::e2e
