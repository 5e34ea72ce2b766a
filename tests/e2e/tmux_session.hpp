// Drives a program in a detached tmux session of its own: type keys, read the screen, wait for
// what it shows. Each session runs on a private tmux server, so tests can run side by side.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace sparvik::e2e {

// Runs `command` with /bin/sh, returns its standard output; `status` gets the exit status.
std::string run_shell(const std::string& command, int* status = nullptr);
// Quotes `text` for /bin/sh.
std::string shell_quote(std::string_view text);

class TmuxSession {
 public:
  // Starts `command` (a /bin/sh command line) in a new session of the given size.
  TmuxSession(const std::string& command, int width, int height);
  ~TmuxSession();
  TmuxSession(const TmuxSession&) = delete;
  TmuxSession& operator=(const TmuxSession&) = delete;

  // Key names as tmux's send-keys takes them: "Enter", "Escape", "Left", "q", ...
  void send_keys(const std::vector<std::string>& keys) const;
  // The visible screen, one string per row, trailing blanks removed.
  std::vector<std::string> lines() const;
  std::string screen() const;
  // From now on, appends everything the program writes to the pane to `file`.
  void pipe_output_to(const std::string& file) const;
  // A tmux format variable of the pane, e.g. "#{alternate_on}".
  std::string pane_format(std::string_view format) const;

  // Polls the screen until `ready` holds or `timeout` passes; returns whether it held.
  bool wait_until(const std::function<bool(const std::string&)>& ready,
                  std::chrono::milliseconds timeout) const;
  bool wait_for_text(std::string_view text, std::chrono::milliseconds timeout) const;

 private:
  std::string tmux(const std::string& arguments, int* status = nullptr) const;
  std::string socket_;
};

}  // namespace sparvik::e2e
